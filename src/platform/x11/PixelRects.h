#pragma once
// Small helpers for rectangles of root pixels.

#include <algorithm>
#include <optional>
#include <string>

#include "core/common/Geometry.h"

namespace tessarin::x11 {

// "WxH at (X, Y)", as error messages show an area.
inline std::string describeArea(const PixelRect& area) {
    return std::to_string(area.width) + "x" + std::to_string(area.height) + " at (" + std::to_string(area.x) + ", " +
           std::to_string(area.y) + ")";
}

// The common part of two rectangles; nothing when they do not overlap.
inline std::optional<PixelRect> intersect(const PixelRect& a, const PixelRect& b) {
    const int64_t x0 = std::max(a.x, b.x);
    const int64_t y0 = std::max(a.y, b.y);
    const int64_t x1 = std::min(a.x + a.width, b.x + b.width);
    const int64_t y1 = std::min(a.y + a.height, b.y + b.height);
    if (x1 <= x0 || y1 <= y0) return std::nullopt;
    return PixelRect{x0, y0, x1 - x0, y1 - y0};
}

}  // namespace tessarin::x11
