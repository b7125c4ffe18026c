#pragma once
// What a point in a pin window means: one of the hover buttons (copy,
// "Save", close) along the top-right corner, a resize edge, or the body,
// which moves the window. Window-local points, top-left origin.

#include <optional>
#include <string>
#include <vector>

#include "core/common/Geometry.h"

namespace tessarin::PinWindowChrome {

enum class Button { copy, save, close };

struct ButtonFrame {
    Button button;
    Rect frame;
    std::string title;  // localised text for "Save", empty for icon buttons
};

// The buttons for a window of `size`, right to left: close, "Save", copy.
std::vector<ButtonFrame> buttons(Size size);

// Edges a press grabs, as bits.
enum Edge : unsigned { none = 0, left = 1, right = 2, top = 4, bottom = 8 };

struct Hit {
    std::optional<Button> button;  // with buttons shown
    unsigned edges = none;         // non-zero: resize from these edges
    bool moves() const { return !button && edges == none; }
};

// Buttons count only while they are shown (the pointer is over the window).
Hit hitTest(Size size, Point point, bool buttonsShown);

}  // namespace tessarin::PinWindowChrome
