#pragma once
// Applying a recorded edit to its document, backwards (undo) or forwards
// (redo). The log moves the entry between its stacks; this puts the
// annotations, crop and background where the entry says.

#include "core/annotation/AnnotationDocument.h"

namespace tessarin {

enum class AnnotationReplayDirection { backward, forward };

// What applying an edit touched, for the editor to announce and redraw.
struct AnnotationReplayEffect {
    bool annotationsChanged = false;
    bool cropChanged = false;
    bool backgroundChanged = false;
    // Drawing-space area whose pixels may differ (annotations only).
    std::optional<Rect> dirtyBounds;
};

namespace AnnotationEditReplay {

AnnotationReplayEffect apply(AnnotationDocument& document, const AnnotationEdit::Edit& edit,
                             AnnotationReplayDirection direction);

}  // namespace AnnotationEditReplay

// The smallest rectangle holding both (either may be absent).
std::optional<Rect> unionOf(const std::optional<Rect>& a, const std::optional<Rect>& b);

}  // namespace tessarin
