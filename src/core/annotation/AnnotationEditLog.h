#pragma once
// The undo history of an annotation document: what each edit changed, kept
// on an undo and a redo stack. Recording lives here; applying an edit
// backwards or forwards is the editor's (it also touches selection and view).

#include <cstddef>
#include <optional>
#include <variant>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationBackgroundStyle.h"

namespace tessarin {

struct AnnotationEditEntry {
    AnnotationPtr annotation;
    size_t index = 0;
};

struct AnnotationChange {
    AnnotationPtr annotation;
    AnnotationStateCapture before;
    AnnotationStateCapture after;
};

namespace AnnotationEdit {
struct Add {
    std::vector<AnnotationEditEntry> entries;
};
struct Remove {
    std::vector<AnnotationEditEntry> entries;
};
struct Modify {
    std::vector<AnnotationChange> changes;
};
struct Reorder {
    std::vector<AnnotationID> from;
    std::vector<AnnotationID> to;
};
struct Crop {
    std::optional<Rect> from;
    std::optional<Rect> to;
};
struct Background {
    std::optional<AnnotationBackgroundStyle> from;
    std::optional<AnnotationBackgroundStyle> to;
};
using Edit = std::variant<Add, Remove, Modify, Reorder, Crop, Background>;
}  // namespace AnnotationEdit

class AnnotationEditLog {
public:
    // Appends to the undo stack and empties the redo stack.
    void record(AnnotationEdit::Edit edit);
    // Nothing is recorded without changes. With `coalescing`, a run of
    // changes to exactly the same annotations (a slider drag, repeated
    // nudges) merges into the last entry: first befores, latest afters.
    void recordModify(std::vector<AnnotationChange> changes, bool coalescing);
    void recordBackground(std::optional<AnnotationBackgroundStyle> from, std::optional<AnnotationBackgroundStyle> to,
                          bool coalescing);

    const std::vector<AnnotationEdit::Edit>& undoStack() const { return undoStack_; }
    const std::vector<AnnotationEdit::Edit>& redoStack() const { return redoStack_; }
    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }

private:
    std::vector<AnnotationEdit::Edit> undoStack_;
    std::vector<AnnotationEdit::Edit> redoStack_;
};

}  // namespace tessarin
