#pragma once
// One output's pixels out of a screenshot of the whole Wayland layout.
//
// The Screenshot portal answers with one image of every output together,
// laid out in logical coordinates and rendered at one scale for all of them
// (grim, behind the wlroots portal, uses the highest output scale). An output
// whose own scale differs from the image's is resampled to its own device
// pixels, so a capture has the size the display reports whichever output it
// is on.

#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"

namespace tessarin::portal {

struct OutputPlacement {
    PixelRect logical;  // where the output lies in the layout, logical coordinates (top-left origin)
    int64_t pixelWidth = 0;  // its device pixels (after its transform)
    int64_t pixelHeight = 0;
};

// The smallest rectangle around every output, in logical coordinates.
PixelRect layoutBounds(const std::vector<OutputPlacement>& outputs);

// `area` (device pixels of `output`) cut from `layoutImage`, an image of
// `bounds`. Errors: an image whose proportions do not match the layout (the
// outputs changed between reading them and the screenshot), an area outside
// the output, an allocation failure.
Expected<Image, std::string> cropOutputArea(const Image& layoutImage, PixelRect bounds, const OutputPlacement& output,
                                            PixelRect area);

}  // namespace tessarin::portal
