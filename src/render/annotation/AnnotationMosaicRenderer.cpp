#include "render/annotation/AnnotationMosaicRenderer.h"

#include <algorithm>
#include <optional>

#include "render/annotation/AnnotationPixelator.h"
#include "render/annotation/MosaicKernels.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin::AnnotationMosaicRenderer {
namespace {

// The blur strength and pixel block of each effect.
double secureBlurSigma(uint32_t r) { return std::max(1.0, 0.35 * r); }
uint32_t pixelBlock(uint32_t r) { return std::max<uint32_t>(2, r); }
double smoothBlurSigma(uint32_t r) { return std::max<double>(1, r); }

PixelRect grown(const PixelRect& r, int64_t by, uint32_t width, uint32_t height) {
    const int64_t x0 = std::max<int64_t>(r.x - by, 0);
    const int64_t y0 = std::max<int64_t>(r.y - by, 0);
    const int64_t x1 = std::min<int64_t>(r.x + r.width + by, width);
    const int64_t y1 = std::min<int64_t>(r.y + r.height + by, height);
    return {x0, y0, x1 - x0, y1 - y0};
}

// Work areas live on the heap: a region and the margin its kernel reads
// can be larger than a Cairo surface may be.
std::optional<HeapPixels> premultiplied(const Image& source, const PixelRect& r) {
    auto pixels = HeapPixels::allocate(uint32_t(r.width), uint32_t(r.height));
    if (pixels) premultiplyInto(source, uint32_t(r.x), uint32_t(r.y), pixels->view());
    return pixels;
}

// The pixelated image's pixels over `target` (top-left source pixels) into
// `out`, which is as large as `target`.
bool pixelateInto(const Image& source, uint32_t block, const PixelRect& target, const PixelView& out) {
    const PixelRect area = MosaicKernels::blockAlignedArea(source.width(), source.height(), block, target);
    const std::optional<HeapPixels> input = premultiplied(source, area);
    if (!input) return false;
    MosaicKernels::pixelate({input->view(), uint32_t(area.x), uint32_t(area.y), source.width(), source.height()},
                            block, out, uint32_t(target.x), uint32_t(target.y));
    return true;
}

CairoSurfacePtr pixelated(const Image& source, uint32_t block, const PixelRect& target) {
    CairoSurfacePtr output = makeSurface(uint32_t(target.width), uint32_t(target.height));
    if (!output || !pixelateInto(source, block, target, viewOf(output.get()))) return nullptr;
    cairo_surface_mark_dirty(output.get());
    return output;
}

CairoSurfacePtr cropped(const PixelView& from, int64_t x, int64_t y, const PixelRect& size) {
    CairoSurfacePtr out = makeSurface(uint32_t(size.width), uint32_t(size.height));
    if (!out) return nullptr;
    const PixelView to = viewOf(out.get());
    for (uint32_t row = 0; row < to.height; ++row) {
        const uint8_t* in = from.row(uint32_t(y + row)) + x * 4;
        std::copy(in, in + size_t(to.width) * 4, to.row(row));
    }
    cairo_surface_mark_dirty(out.get());
    return out;
}

// `block` 0 blurs the source itself, else its pixelation with that block.
CairoSurfacePtr blurred(const Image& source, const PixelRect& region, double sigma, uint32_t block) {
    const PixelRect extended = grown(region, MosaicKernels::blurReach(sigma), source.width(), source.height());
    std::optional<HeapPixels> work;
    if (block) {
        work = HeapPixels::allocate(uint32_t(extended.width), uint32_t(extended.height));
        if (work && !pixelateInto(source, block, extended, work->view())) work.reset();
    } else {
        work = premultiplied(source, extended);
    }
    if (!work) return nullptr;
    MosaicKernels::gaussianBlur(work->view(), sigma);
    return cropped(work->view(), region.x - extended.x, region.y - extended.y, region);
}

}  // namespace

uint32_t sourceReach(AnnotationMosaicEffect effect, uint32_t r) {
    switch (effect) {
        case AnnotationMosaicEffect::pixelate: return pixelBlock(r) - 1;
        case AnnotationMosaicEffect::secureBlur: return MosaicKernels::blurReach(secureBlurSigma(r)) + pixelBlock(r) - 1;
        case AnnotationMosaicEffect::smoothBlur: return MosaicKernels::blurReach(smoothBlurSigma(r));
        case AnnotationMosaicEffect::blackOut: return 0;
    }
    return 0;
}

CairoSurfacePtr renderedImage(const Image& source, AnnotationMosaicEffect effect, uint32_t radiusInSourcePixels,
                              const PixelRect& regionFromBottom) {
    if (source.isEmpty()) return nullptr;
    const int64_t H = source.height();
    // The kernels work on the raster, whose rows run from the top.
    const PixelRect region{regionFromBottom.x, H - regionFromBottom.y - regionFromBottom.height, regionFromBottom.width,
                           regionFromBottom.height};
    const bool inside = !region.isEmpty() && region.x >= 0 && region.y >= 0 && region.x + region.width <= source.width() &&
                        region.y + region.height <= H;
    const uint32_t r = radiusInSourcePixels;
    switch (effect) {
        case AnnotationMosaicEffect::pixelate: {
            if (inside) {
                if (CairoSurfacePtr image = pixelated(source, pixelBlock(r), region)) return image;
            }
            // The whole-image software path, cropped to what lies inside.
            const PixelRect clipped = grown(region, 0, source.width(), uint32_t(H));
            if (clipped.isEmpty()) return nullptr;
            CairoSurfacePtr whole = premultipliedSurface(source);
            if (!whole) return nullptr;
            CairoSurfacePtr image = AnnotationPixelator::pixelatedImage(viewOf(whole.get()), r);
            return image ? cropped(viewOf(image.get()), clipped.x, clipped.y, clipped) : nullptr;
        }
        case AnnotationMosaicEffect::secureBlur:
            if (!inside) return nullptr;
            return blurred(source, region, secureBlurSigma(r), pixelBlock(r));
        case AnnotationMosaicEffect::smoothBlur:
            if (!inside) return nullptr;
            return blurred(source, region, smoothBlurSigma(r), 0);
        case AnnotationMosaicEffect::blackOut: return nullptr;
    }
    return nullptr;
}

}  // namespace tessarin::AnnotationMosaicRenderer
