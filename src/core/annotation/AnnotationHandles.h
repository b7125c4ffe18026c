#pragma once
// Selection handles of a single selected annotation, and the cursor the
// canvas shows for a state of the editor.

#include <optional>
#include <vector>

#include "core/annotation/AnnotationInteractionTypes.h"

namespace tessarin {

namespace AnnotationHandles {

// Corners and edge midpoints for rectangle-backed kinds, the four corners of
// the text box for text (they scale it), both end points for arrows and
// lines; none for badges and freehand strokes.
std::vector<AnnotationHandle> handles(const Annotation& annotation);
// The handle whose hit area holds `point`, checked in handle order.
std::optional<AnnotationHandle> handleAt(const Annotation& annotation, Point point);
// The resize cursor of a segment: its direction in 45° sectors.
AnnotationResizeHandle segmentCursorHandle(Point start, Point end);

}  // namespace AnnotationHandles

namespace AnnotationCursorPolicy {

struct CanvasState {
    std::optional<AnnotationToolType> toolType;
    AnnotationInteraction::Interaction interaction;
    const std::vector<AnnotationPtr>* annotations = nullptr;
    std::set<AnnotationID> selectedIDs;
    bool isOptionDown = false;  // a duplicating modifier (Alt or Ctrl) is held
};

// The cursor with the pointer at `point` (no point: not over the canvas).
AnnotationCursorKind cursor(const CanvasState& state, std::optional<Point> point);
AnnotationCursorKind idleCursor(const CanvasState& state);
// Areas the view can hand to the windowing system: handles first, then
// annotation bodies from the top down. A thin stroke's area is at least 8 wide.
std::vector<AnnotationCursorRect> cursorRects(const CanvasState& state);

}  // namespace AnnotationCursorPolicy

}  // namespace tessarin
