#pragma once
// The unannotated image under the mosaic boxes, as a painter sees it: where
// it lies in drawing space and how a box's radius maps onto its pixels. Each
// renderer implements it over its own image type and keeps its own cache of
// processed regions (Cairo surfaces in render/annotation, a Qt image in a
// canvas), so the model and the painter interface name no graphics library.

#include <cstdint>

#include "core/annotation/AnnotationMosaicEffect.h"
#include "core/common/Geometry.h"

namespace tessarin {

class AnnotationMosaicSource {
public:
    virtual ~AnnotationMosaicSource() = default;

    // Where the source image lies in drawing space.
    virtual const Rect& imageDrawRect() const = 0;
    // The mosaic radius in source pixels for a radius in drawing units.
    virtual double radiusInSourcePixels(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const = 0;
    // How many source pixels beyond a region's edges making its processed
    // image reads.
    virtual uint32_t sourceReach(AnnotationMosaicEffect effect, double radiusInCanvasPoints) const = 0;
};

}  // namespace tessarin
