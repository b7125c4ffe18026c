#pragma once
// Conversions between the shared straight-alpha RGBA Image and Cairo's
// premultiplied native-endian ARGB32 surfaces, and a view of a surface's
// pixels for the mosaic kernels.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/common/Image.h"
#include "render/annotation/CairoHandles.h"

namespace tessarin {

// Four 8-bit channels per pixel; rows `stride` bytes apart, top to bottom.
struct PixelView {
    uint8_t* data = nullptr;
    size_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t* row(uint32_t y) const { return data + stride * y; }
    // The part of width x height pixels at (x, y), which must lie inside.
    PixelView part(uint32_t x, uint32_t y, uint32_t partWidth, uint32_t partHeight) const {
        return {row(y) + size_t{x} * 4, stride, partWidth, partHeight};
    }
};

// Pixels on the heap, for work areas no Cairo call draws on: they are not
// bound by the size limit of Cairo's surfaces.
class HeapPixels {
public:
    // Nothing when the size is empty or the memory cannot be had.
    static std::optional<HeapPixels> allocate(uint32_t width, uint32_t height);
    const PixelView& view() const { return view_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    PixelView view_;
};

// A new ARGB32 surface; nothing when Cairo refuses the size.
CairoSurfacePtr makeSurface(uint32_t width, uint32_t height);
PixelView viewOf(cairo_surface_t* surface);

// Premultiplies the sub-rectangle of `image` at (x, y), as large as `out`,
// into `out`. The rectangle must lie inside the image.
void premultiplyInto(const Image& image, uint32_t x, uint32_t y, const PixelView& out);
// The same into a new surface of the rectangle's size.
CairoSurfacePtr premultipliedSurface(const Image& image, uint32_t x, uint32_t y, uint32_t width, uint32_t height);
CairoSurfacePtr premultipliedSurface(const Image& image);
// Back to straight alpha, into a new image or over one of the surface's size.
std::optional<Image> straightImage(cairo_surface_t* surface);
void writeStraight(cairo_surface_t* surface, Image& image);
// Writes back premultiplied pixels made from `original` at (x, y) and drawn
// on since, over the same rectangle of `target` (which may be `original`
// itself). Pixels whose premultiplied value did not change are not
// written, so a translucent pixel nothing painted keeps its exact straight
// value instead of the rounding of a round trip.
void writeChanged(const PixelView& drawn, const Image& original, uint32_t x, uint32_t y, Image& target);
// The same into `target` at (targetX, targetY) instead of (x, y).
void writeChanged(const PixelView& drawn, const Image& original, uint32_t x, uint32_t y, Image& target,
                  uint32_t targetX, uint32_t targetY);
// Every pixel of `drawn` into `target` at (targetX, targetY): the
// original's own pixel where drawing left it unchanged, as writeChanged
// keeps it, and the drawn one elsewhere. One pass instead of a copy and
// writeChanged.
// `originalIsOpaque` (every pixel of the original has alpha 255, as the
// caller knows) spares reading the original where drawing left it opaque.
void writeDrawn(const PixelView& drawn, const Image& original, uint32_t x, uint32_t y, Image& target,
                uint32_t targetX, uint32_t targetY, bool originalIsOpaque = false);
// Whether every pixel has alpha 255.
bool isOpaque(const Image& image);

}  // namespace tessarin
