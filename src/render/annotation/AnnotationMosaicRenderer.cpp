#include "render/annotation/AnnotationMosaicRenderer.h"

#include <algorithm>

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

CairoSurfacePtr premultiplied(const Image& source, const PixelRect& r) {
    return premultipliedSurface(source, uint32_t(r.x), uint32_t(r.y), uint32_t(r.width), uint32_t(r.height));
}

// The pixelated image's pixels over `target` (top-left source pixels).
CairoSurfacePtr pixelated(const Image& source, uint32_t block, const PixelRect& target) {
    const PixelRect area = MosaicKernels::blockAlignedArea(source.width(), source.height(), block, target);
    CairoSurfacePtr input = premultiplied(source, area);
    CairoSurfacePtr output = makeSurface(uint32_t(target.width), uint32_t(target.height));
    if (!input || !output) return nullptr;
    MosaicKernels::pixelate({viewOf(input.get()), uint32_t(area.x), uint32_t(area.y), source.width(), source.height()},
                            block, viewOf(output.get()), uint32_t(target.x), uint32_t(target.y));
    cairo_surface_mark_dirty(output.get());
    return output;
}

CairoSurfacePtr cropped(cairo_surface_t* surface, int64_t x, int64_t y, const PixelRect& size) {
    CairoSurfacePtr out = makeSurface(uint32_t(size.width), uint32_t(size.height));
    if (!out) return nullptr;
    const PixelView from = viewOf(surface);
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
    CairoSurfacePtr work = block ? pixelated(source, block, extended) : premultiplied(source, extended);
    if (!work) return nullptr;
    MosaicKernels::gaussianBlur(viewOf(work.get()), sigma);
    cairo_surface_mark_dirty(work.get());
    return cropped(work.get(), region.x - extended.x, region.y - extended.y, region);
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
            return image ? cropped(image.get(), clipped.x, clipped.y, clipped) : nullptr;
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
