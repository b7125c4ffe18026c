#include "render/annotation/AnnotationRenderContext.h"

#include <algorithm>
#include <cmath>

#include "render/annotation/AnnotationMosaicRenderer.h"

namespace tessarin {
namespace {

// Radii beyond this only cost time: every block or blur already spans a 4K image.
constexpr double kMaxRadiusInSourcePixels = 8192;

}  // namespace

double AnnotationRenderContext::radiusInSourcePixels(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const {
    const Rect& D = imageDrawRect_;
    const double sx = source_.width() / std::max(1.0, D.width);
    const double sy = source_.height() / std::max(1.0, D.height);
    const double scale = std::max(1.0, std::max(sx, sy));
    const double minimum =
        effect == AnnotationMosaicEffect::pixelate || effect == AnnotationMosaicEffect::secureBlur ? 2 : 1;
    const double radius = std::round(radiusInCanvasPoints * scale);  // half away from zero
    return std::isnan(radius) ? minimum : std::clamp(radius, minimum, kMaxRadiusInSourcePixels);
}

uint32_t AnnotationRenderContext::sourceReach(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const {
    if (effect == AnnotationMosaicEffect::blackOut) return 0;
    return AnnotationMosaicRenderer::sourceReach(effect, uint32_t(radiusInSourcePixels(effect, radiusInCanvasPoints))) + 1;
}

std::optional<AnnotationRenderContext::RegionImage> AnnotationRenderContext::mosaicRegionImage(
    AnnotationMosaicEffect effect, double radiusInCanvasPoints, const Rect& canvasRect) {
    const double W = source_.width();
    const double H = source_.height();
    const Rect& D = imageDrawRect_;
    const double sx = W / std::max(1.0, D.width);
    const double sy = H / std::max(1.0, D.height);
    const double radius = radiusInSourcePixels(effect, radiusInCanvasPoints);

    const Rect region = Rect{(canvasRect.minX() - D.minX()) * sx, (canvasRect.minY() - D.minY()) * sy,
                             canvasRect.standardized().width * sx, canvasRect.standardized().height * sy}
                            .integral()
                            .intersection({0, 0, W, H});
    if (region.isEmpty() || !region.isFinite()) return std::nullopt;
    const MosaicRegionCacheKey key{effect,
                                   int64_t(radius),
                                   int64_t(region.x),
                                   int64_t(region.y),
                                   int64_t(region.width),
                                   int64_t(region.height)};
    auto found = mosaicRegionImages_.find(key);
    if (found == mosaicRegionImages_.end()) {
        CairoSurfacePtr rendered = AnnotationMosaicRenderer::renderedImage(
            source_, effect, uint32_t(radius), {key.regionX, key.regionY, key.regionWidth, key.regionHeight});
        if (!rendered) return std::nullopt;
        const size_t bytes = size_t(cairo_image_surface_get_stride(rendered.get())) *
                             size_t(cairo_image_surface_get_height(rendered.get()));
        if (mosaicRegionImages_.size() >= maxRegions_ || cachedBytes_ + bytes > maxBytes_) {
            mosaicRegionImages_.clear();
            cachedBytes_ = 0;
        }
        cachedBytes_ += bytes;
        found = mosaicRegionImages_.emplace(key, shareSurface(std::move(rendered))).first;
    }
    return RegionImage{found->second,
                       {D.minX() + region.x / sx, D.minY() + region.y / sy, region.width / sx, region.height / sy}};
}

}  // namespace tessarin
