#include "render/annotation/PixelBuffer.h"

#include <bit>
#include <cstring>
#include <new>

namespace tessarin {
namespace {

static_assert(std::endian::native == std::endian::little, "ARGB32 words are read as B, G, R, A bytes");

inline uint8_t premultiply(uint8_t c, uint8_t a) { return uint8_t((c * a + 127) / 255); }
inline uint8_t unpremultiply(uint8_t c, uint8_t a) {
    const unsigned v = (c * 255u + a / 2) / a;
    return uint8_t(v > 255 ? 255 : v);
}

// One straight RGBA pixel as the B, G, R, A bytes of a premultiplied ARGB32 word.
inline void premultiplyPixel(const uint8_t* in, uint8_t* out) {
    const uint8_t a = in[3];
    if (a == 255) {
        out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
    } else {
        out[0] = premultiply(in[2], a), out[1] = premultiply(in[1], a), out[2] = premultiply(in[0], a);
        out[3] = a;
    }
}

inline void unpremultiplyPixel(const uint8_t* in, uint8_t* out) {
    const uint8_t a = in[3];
    if (a == 255) {
        out[0] = in[2], out[1] = in[1], out[2] = in[0];
    } else if (a == 0) {
        out[0] = out[1] = out[2] = 0;
    } else {
        out[0] = unpremultiply(in[2], a), out[1] = unpremultiply(in[1], a), out[2] = unpremultiply(in[0], a);
    }
    out[3] = a;
}

// An opaque straight RGBA pixel, read as a little-endian word, as its
// premultiplied ARGB32 word (the same bytes as premultiplyPixel gives).
inline uint32_t opaqueWord(uint32_t rgba) { return (rgba & 0xFF00FF00u) | ((rgba & 0xFFu) << 16) | ((rgba >> 16) & 0xFFu); }

inline uint32_t load(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// The premultiplied word of a straight pixel.
inline uint32_t premultipliedWord(const uint8_t* in) {
    const uint32_t v = load(in);
    if ((v >> 24) == 0xFF) return opaqueWord(v);
    uint8_t out[4];
    premultiplyPixel(in, out);
    return load(out);
}

bool isOpaque(const uint8_t* pixels, uint32_t count) {
    uint32_t alphas = 0xFF000000u;
    for (uint32_t i = 0; i < count; ++i) alphas &= load(pixels + size_t{i} * 4);
    return (alphas >> 24) == 0xFF;
}

// Opaque pixels only swap their first and third bytes between straight
// RGBA and premultiplied ARGB32. Converts a row that way and tells whether
// it really was all opaque (the caller redoes it exactly otherwise); the
// loop has no branch, so the compiler can make it wide.
bool swappedIfOpaque(const uint8_t* in, uint8_t* out, uint32_t count) {
    uint32_t alphas = 0xFF000000u;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = load(in + size_t{i} * 4);
        alphas &= v;
        store(out + size_t{i} * 4, opaqueWord(v));
    }
    return (alphas >> 24) == 0xFF;
}

}  // namespace

std::optional<HeapPixels> HeapPixels::allocate(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || uint64_t{width} * height > Image::kMaxPixels) return std::nullopt;
    HeapPixels pixels;
    const size_t stride = size_t{width} * 4;
    pixels.bytes_.reset(new (std::nothrow) uint8_t[stride * height]);
    if (!pixels.bytes_) return std::nullopt;
    pixels.view_ = {pixels.bytes_.get(), stride, width, height};
    return pixels;
}

CairoSurfacePtr makeSurface(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || width > 32767 || height > 32767) return nullptr;
    CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return surface;
}

PixelView viewOf(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    return {cairo_image_surface_get_data(surface), size_t(cairo_image_surface_get_stride(surface)),
            uint32_t(cairo_image_surface_get_width(surface)), uint32_t(cairo_image_surface_get_height(surface))};
}

void premultiplyInto(const Image& image, uint32_t x, uint32_t y, const PixelView& view) {
    for (uint32_t row = 0; row < view.height; ++row) {
        const uint8_t* in = image.row(y + row) + size_t{x} * 4;
        uint8_t* out = view.row(row);
        if (swappedIfOpaque(in, out, view.width)) continue;
        for (uint32_t i = 0; i < view.width; ++i, in += 4, out += 4) store(out, premultipliedWord(in));
    }
}

CairoSurfacePtr premultipliedSurface(const Image& image, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    CairoSurfacePtr surface = makeSurface(width, height);
    if (!surface) return nullptr;
    premultiplyInto(image, x, y, viewOf(surface.get()));
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

CairoSurfacePtr premultipliedSurface(const Image& image) {
    return premultipliedSurface(image, 0, 0, image.width(), image.height());
}

std::optional<Image> straightImage(cairo_surface_t* surface) {
    auto image = Image::allocate(uint32_t(cairo_image_surface_get_width(surface)),
                                 uint32_t(cairo_image_surface_get_height(surface)));
    if (!image) return std::nullopt;
    writeStraight(surface, *image);
    return image;
}

void writeStraight(cairo_surface_t* surface, Image& image) {
    const PixelView view = viewOf(surface);
    for (uint32_t row = 0; row < view.height; ++row) {
        const uint8_t* in = view.row(row);
        uint8_t* out = image.row(row);
        for (uint32_t i = 0; i < view.width; ++i, in += 4, out += 4) unpremultiplyPixel(in, out);
    }
}

void writeChanged(const PixelView& view, const Image& original, uint32_t x, uint32_t y, Image& target) {
    writeChanged(view, original, x, y, target, x, y);
}

void writeChanged(const PixelView& view, const Image& original, uint32_t x, uint32_t y, Image& target,
                  uint32_t targetX, uint32_t targetY) {
    for (uint32_t row = 0; row < view.height; ++row) {
        const uint8_t* drawn = view.row(row);
        const uint8_t* before = original.row(y + row) + size_t{x} * 4;
        uint8_t* out = target.row(targetY + row) + size_t{targetX} * 4;
        for (uint32_t i = 0; i < view.width; ++i, drawn += 4, before += 4, out += 4) {
            if (premultipliedWord(before) != load(drawn)) unpremultiplyPixel(drawn, out);
        }
    }
}

bool isOpaque(const Image& image) {
    for (uint32_t row = 0; row < image.height(); ++row) {
        if (!isOpaque(image.row(row), image.width())) return false;
    }
    return true;
}

void writeDrawn(const PixelView& view, const Image& original, uint32_t x, uint32_t y, Image& target,
                uint32_t targetX, uint32_t targetY, bool originalIsOpaque) {
    for (uint32_t row = 0; row < view.height; ++row) {
        const uint8_t* drawn = view.row(row);
        const uint8_t* before = original.row(y + row) + size_t{x} * 4;
        uint8_t* out = target.row(targetY + row) + size_t{targetX} * 4;
        // Drawn opaque over opaque, a pixel is its drawn value swapped back
        // (which is the original's own where nothing changed it).
        if ((originalIsOpaque || isOpaque(before, view.width)) && swappedIfOpaque(drawn, out, view.width)) continue;
        for (uint32_t i = 0; i < view.width; ++i, drawn += 4, before += 4, out += 4) {
            if (premultipliedWord(before) == load(drawn)) {
                store(out, load(before));
            } else {
                unpremultiplyPixel(drawn, out);
            }
        }
    }
}

}  // namespace tessarin
