#pragma once
// Turning point rectangles into whole device pixels.

#include <optional>
#include <string_view>

#include "core/common/Geometry.h"

namespace tessarin {

struct PixelSize {
    int64_t width = 1;
    int64_t height = 1;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Each dimension rounded half away from zero and at least 1; a non-finite one
// becomes 1. Logs when it had to clamp.
PixelSize sanitizedPixelSize(Size size, std::string_view context);

// The pixels of a display image that cover `rect` (global points), rounded
// outwards to whole pixels and kept inside the image. None when an input is
// not finite or the result is empty (logged): a region capture must then
// fail rather than hand back some other part of the screen. Whole-display
// captures never crop, so nothing falls back to the full image.
std::optional<PixelRect> pixelAlignedCropRect(const Rect& rect, const Rect& screenFrame, double pointPixelScale,
                                              Size imageSize);

}  // namespace tessarin
