#pragma once
// The area-selection overlay's geometry that does not depend on its state:
// where the handles of a selection are grabbed and drawn, the size label,
// the cursor shapes, and the metrics of its badges.
//
// Coordinates are the overlay view's own points: origin at the bottom-left
// corner of the display the view covers, y growing upwards. "Top" is maxY.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/common/Geometry.h"

namespace tessarin {

// Width of a text in points as the view will draw it; the view passes its
// font metrics, tests and the default use an estimate.
using OverlayTextMeasure = std::function<double(std::string_view)>;

enum class OverlayCursor {
    crosshair,
    arrow,  // over the toolbar
    openHand,
    closedHand,
    resizeTopLeft,
    resizeTop,
    resizeTopRight,
    resizeRight,
    resizeBottomRight,
    resizeBottom,
    resizeBottomLeft,
    resizeLeft,
};

namespace CaptureOverlayStyle {

// In hit-testing order of the edges; corners are tested before edges.
enum class Handle { topLeft, top, topRight, right, bottomRight, bottom, bottomLeft, left };
inline constexpr std::array<Handle, 8> allHandles = {Handle::topLeft,     Handle::top,    Handle::topRight,
                                                     Handle::right,       Handle::bottomRight,
                                                     Handle::bottom,      Handle::bottomLeft, Handle::left};

// Corner squares reach this far outside the selection and this far inside.
inline constexpr double cornerOutside = 6;
inline constexpr double cornerInside = 22;
inline constexpr double pillLength = 36;
inline constexpr double pillThickness = 20;

// The grab area of `handle` on `selection`.
Rect hitArea(Handle handle, const Rect& selection);
// The handle grabbed at `point` (corners first), or none.
std::optional<Handle> handle(Point point, const Rect& selection);

// The drawn knob of `handle`: smaller than its grab area, centred on the
// corner or edge midpoint.
Rect knob(Handle handle, const Rect& selection);
inline constexpr double cornerKnobSize = 10;
inline constexpr double pillKnobLength = 28;
inline constexpr double pillKnobThickness = 6;
inline constexpr double borderWidth = 2;
// How far from the selection's edges anything drawn for the selection
// reaches (knobs, border, their shadow), either side.
inline constexpr double chromeReach = 8;

bool movesLeftEdge(Handle handle);
bool movesRightEdge(Handle handle);
bool movesTopEdge(Handle handle);
bool movesBottomEdge(Handle handle);
OverlayCursor resizeCursor(Handle handle);

// "640 × 480": width and height rounded half away from zero.
std::string selectionSizeLabel(const Rect& rect);

// Badges: a text on a rounded plate.
inline constexpr double badgeHeight = 24;
inline constexpr double badgePadding = 10;  // left and right of the text
inline constexpr double badgeGap = 8;       // between a badge and the selection
double estimatedTextWidth(std::string_view text);
Rect badgeRect(Point origin, std::string_view text, const OverlayTextMeasure& measure);

}  // namespace CaptureOverlayStyle
}  // namespace tessarin
