#pragma once
// Pure rectangle rules used while the user drags or moves a selection, and
// when a preset changes it. All rectangles share one space (the caller's).

#include <optional>

#include "core/capture/CapturePreset.h"
#include "core/common/Geometry.h"

namespace tessarin::CaptureSelectionGeometry {

// Keeps the size and moves the origin so the rectangle lies inside `bounds`
// (a rectangle larger than the bounds ends at the bounds' minimum corner).
Rect translatedToFit(const Rect& rect, const Rect& bounds);

// Moves by (dx, dy), clamping the size to 1...bounds and the position into bounds.
Rect move(const Rect& rect, Point by, const Rect& bounds);

// The rectangle dragged from `start` to `end`: at least `minimumDimension` on
// each side, grown to meet `aspectRatio` (width / height) when given, anchored
// at the start point and kept inside the bounds.
Rect selectionRect(Point start, Point end, const Rect& bounds, std::optional<double> aspectRatio,
                   double minimumDimension);

// The selection after switching to `preset`, centred on the current one.
Rect applyingPreset(const CapturePreset& preset, const Rect& current, const Rect& bounds, double minimumDimension);

// Index of the next (or previous) preset in `presets` after `active`.
size_t cycledPresetIndex(const std::vector<CapturePreset>& presets, const CapturePreset& active, bool forward);

}  // namespace tessarin::CaptureSelectionGeometry
