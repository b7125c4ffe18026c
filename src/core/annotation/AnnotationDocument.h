#pragma once
// The annotations of one image being edited, in drawing order (index 0 is
// drawn first, the last is on top), with the selection, crop, background and
// the undo history every change is recorded in.

#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "core/annotation/AnnotationEditLog.h"

namespace tessarin {

class AnnotationDocument {
public:
    std::vector<AnnotationPtr> annotations;
    std::set<AnnotationID> selectedIDs;
    std::optional<Rect> cropRect;
    std::optional<AnnotationBackgroundStyle> background;
    AnnotationEditLog editLog;
    // States taken when a move or resize begins.
    std::vector<std::pair<AnnotationPtr, AnnotationStateCapture>> geometryBaseline;
    // Copies made by a duplicating drag: already in `annotations` (so they
    // are seen while dragging) but not yet recorded.
    std::vector<AnnotationPtr> pendingDuplicates;

    // Appends on top.
    void add(std::vector<AnnotationPtr> added);
    // Records nothing when no id matches.
    void remove(const std::set<AnnotationID>& ids);
    void setHidden(bool hidden, const std::set<AnnotationID>& ids);
    // `order` must list every annotation's id exactly once; anything else is ignored.
    void reorder(const std::vector<AnnotationID>& order);
    void setBackground(std::optional<AnnotationBackgroundStyle> style, bool coalescing);
    // Records one crop step; nothing when the crop stays the same.
    void setCrop(std::optional<Rect> rect);

    std::vector<AnnotationPtr> selectedAnnotations() const;
    AnnotationPtr annotation(const AnnotationID& id) const;
    std::vector<AnnotationID> order() const;
    // Drops selected ids that name no annotation; true when any was dropped.
    bool pruneSelection();

    void beginGeometryEdit(const std::set<AnnotationID>& ids);
    void commitGeometryEditIfNeeded();
    void cancelDuplicateDrag();
    void commitDuplicateDragIfNeeded();
};

}  // namespace tessarin
