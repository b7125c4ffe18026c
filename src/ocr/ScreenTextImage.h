#pragma once
// Screen pixels made ready for a text-recognition engine: one grey channel,
// dark text on a light background. Engines are trained on print (dark ink on
// paper); screens often show light text on dark, which they read far worse.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/common/Image.h"

namespace tessarin::ocr {

struct GreyImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  // rows top to bottom, no padding

    uint8_t at(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

// Luminance (Rec. 601) of each pixel composited over white, so text drawn on
// a transparent background reads as text on paper.
GreyImage greyscale(const Image& image);

// True when the image is mostly dark: the median luminance is below the
// middle. Text covers far less of an image than its background does.
bool hasDarkBackground(const GreyImage& image);

void invert(GreyImage& image);

// greyscale, then inverted when the background is dark.
GreyImage darkTextOnLight(const Image& image);

}  // namespace tessarin::ocr

namespace tessarin::ocr {

// The given rectangle, which must lie inside the image.
GreyImage cropped(const GreyImage& image, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

// True when the image uses only a few grey levels, as text drawn in a bitmap
// font without anti-aliasing does (an xterm in its default font): anti-aliased
// text and photographs use dozens at least.
bool hasOnlyBitmapText(const GreyImage& image);

// Paints over, in the background's white, every dark rectangle, filled or
// one pixel outline, at least 8 pixels tall and at least a third as wide as
// tall: a terminal's block cursor (hollow when the window is not focused),
// which the engine otherwise joins to the line above it. No glyph of text at
// screen sizes is such a rectangle (an l or a | is narrower, an O is
// rounded, a full stop smaller), smoothed or not.
void eraseSolidBlocks(GreyImage& image);

// Gaussian blur of the given standard deviation in pixels (separable).
void blur(GreyImage& image, double sigma);

// Each pixel becomes factor x factor pixels (cubic interpolation). Returns nothing when the result would exceed maxPixels.
std::optional<GreyImage> upscaled(const GreyImage& image, uint32_t factor, uint64_t maxPixels);

}  // namespace tessarin::ocr
