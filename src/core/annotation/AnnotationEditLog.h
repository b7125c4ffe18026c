#pragma once
// The undo history of an annotation document: what each edit changed, kept
// on an undo and a redo stack. Recording lives here; applying an edit
// backwards or forwards is AnnotationEditReplay's, and the editor around it
// also fixes up selection and view.
//
// Coalescing merges a run of changes (a slider drag, a run of typed digits)
// into one step. A run is open from its first coalescing record until the
// gesture that made it ends (endCoalescing) or anything else is recorded,
// undone or redone: two separate slider drags are two steps.

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
    // The gesture that was coalescing ended: the next change starts a new step.
    void endCoalescing() { coalescingOpen_ = false; }

    // Moves the last undo entry onto the redo stack and returns it, for the
    // caller to apply backwards; nothing when there is nothing to undo.
    const AnnotationEdit::Edit* takeUndo();
    // The mirror image: the last redo entry, moved back onto the undo stack.
    const AnnotationEdit::Edit* takeRedo();

    const std::vector<AnnotationEdit::Edit>& undoStack() const { return undoStack_; }
    const std::vector<AnnotationEdit::Edit>& redoStack() const { return redoStack_; }
    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }

private:
    std::vector<AnnotationEdit::Edit> undoStack_;
    std::vector<AnnotationEdit::Edit> redoStack_;
    bool coalescingOpen_ = false;
};

}  // namespace tessarin
