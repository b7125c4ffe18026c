#pragma once
// What drawing mosaic boxes needs beyond the annotation: the unannotated
// source, where it lies in drawing space, and the processed regions already
// made (one context per composite or canvas redraw).

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>

#include "core/annotation/Annotation.h"
#include "core/annotation/AnnotationMosaicSource.h"
#include "core/common/Image.h"
#include "render/annotation/CairoHandles.h"

namespace tessarin {

struct MosaicRegionCacheKey {
    AnnotationMosaicEffect effect;
    int64_t radiusInSourcePixels;
    int64_t regionX;
    int64_t regionY;
    int64_t regionWidth;
    int64_t regionHeight;
    friend auto operator<=>(const MosaicRegionCacheKey&, const MosaicRegionCacheKey&) = default;
};

// Cairo's mosaic source: the processed regions are premultiplied Cairo
// surfaces, cached by effect, radius and region.
class AnnotationRenderContext final : public AnnotationMosaicSource {
public:
    // The cache is emptied whole when an insertion finds it this full.
    static constexpr size_t kMaxCachedRegions = 64;

    // `source` must outlive the context. A context kept for a whole editing
    // session may hold more regions, bounded by their bytes.
    AnnotationRenderContext(const Image& source, const Rect& imageDrawRect, size_t maxCachedRegions = kMaxCachedRegions,
                            size_t maxCachedBytes = SIZE_MAX)
        : source_(source), imageDrawRect_(imageDrawRect), maxRegions_(maxCachedRegions), maxBytes_(maxCachedBytes) {}

    const Image& sourceImage() const { return source_; }
    const Rect& imageDrawRect() const override { return imageDrawRect_; }

    struct RegionImage {
        SharedSurface image;  // premultiplied ARGB32, rows from the top
        Rect drawRect;        // where it goes in drawing space
    };
    std::optional<RegionImage> mosaicRegionImage(AnnotationMosaicEffect effect, double radiusInCanvasPoints,
                                                 const Rect& canvasRect);

    double radiusInSourcePixels(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const override;
    // A pixel more than the kernels read, for the rounding of regions to
    // whole pixels.
    uint32_t sourceReach(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const override;

    size_t cachedRegionCount() const { return mosaicRegionImages_.size(); }
    size_t cachedBytes() const { return cachedBytes_; }

private:
    const Image& source_;
    Rect imageDrawRect_;
    size_t maxRegions_;
    size_t maxBytes_;
    size_t cachedBytes_ = 0;
    std::map<MosaicRegionCacheKey, SharedSurface> mosaicRegionImages_;
};

}  // namespace tessarin
