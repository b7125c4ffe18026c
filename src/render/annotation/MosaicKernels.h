#pragma once
// The pixel kernels behind mosaic boxes. They work on any four-channel 8-bit
// pixels (premultiplied ARGB32 here), one channel at a time alike.

#include <array>
#include <cstdint>

#include "core/common/Geometry.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::MosaicKernels {

// A part of a larger image: `pixels` hold the image's rectangle at (x, y).
struct ImageArea {
    PixelView pixels;
    uint32_t x = 0;
    uint32_t y = 0;
    uint32_t imageWidth = 0;
    uint32_t imageHeight = 0;
};

// The pixelated image is made of `block`-pixel squares on a grid with one
// block centred on the image's centre; each block takes the mean of its
// pixels inside the image. Of that image, `out` receives the rectangle at
// (outX, outY). `source` must hold every block that rectangle touches
// (see blockAlignedArea).
void pixelate(const ImageArea& source, uint32_t block, const PixelView& out, uint32_t outX, uint32_t outY);
// The image rectangle, grown to whole blocks and kept inside the image,
// whose pixels pixelating `rect` reads.
PixelRect blockAlignedArea(uint32_t imageWidth, uint32_t imageHeight, uint32_t block, const PixelRect& rect);

// Three box-blur passes per axis approximating a Gaussian of standard
// deviation `sigma`, in place; pixels beyond the edges repeat the edge.
void gaussianBlur(const PixelView& pixels, double sigma);
// The box radii gaussianBlur uses, and how far a pixel's value can travel in total.
std::array<uint32_t, 3> boxRadii(double sigma);
uint32_t blurReach(double sigma);

}  // namespace tessarin::MosaicKernels
