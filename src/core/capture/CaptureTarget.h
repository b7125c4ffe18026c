#pragma once
// Which display and which rectangle a command means, given the displays that
// are connected now. Pure functions over a display list, so the agent, the
// link handler and tests share one set of rules.

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "core/capture/CaptureSelection.h"

namespace tessarin::CaptureTarget {

// A rectangle in one display's top-left device pixels (the agent's --rect).
struct PixelRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// Which display a command names.
struct ByID {
    uint32_t displayID;
};
struct ByIndex {
    int64_t index;  // zero-based, platform order
};
struct ByNumber {
    int64_t number;  // one-based, main display first
};
struct Automatic {};
using Display = std::variant<ByID, ByIndex, ByNumber, Automatic>;

struct DisplayNotFound {};
struct EmptyRectangle {};
using SelectionResolution = std::variant<CaptureSelection, DisplayNotFound, EmptyRectangle>;

using Displays = std::vector<DisplayDescription>;

// The main (primary) display first, then every other display in platform order.
Displays mainFirstScreens(const Displays& displays);
std::optional<DisplayDescription> explicitScreen(const Display& which, const Displays& displays);

// Converts top-left pixels of `display` to a selection in global points,
// kept on the display. None for a width or height that is not positive.
std::optional<CaptureSelection> selection(const PixelRect& pixels, const DisplayDescription& display);

// As selection(), picking the display by `which`, or the display under the
// pointer when none is named (the main display when the pointer is unknown).
SelectionResolution resolveSelection(const PixelRect& pixels, const Display& which, const Displays& displays,
                                     std::optional<Point> pointer);

}  // namespace tessarin::CaptureTarget
