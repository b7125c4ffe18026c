#pragma once
// The processed pixels of one mosaic region. The result equals processing
// the whole source and cropping, but only the region and the margin its
// kernels reach are touched, so a small box on a 4K image stays cheap.

#include <cstdint>

#include "core/annotation/AnnotationMosaicEffect.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"
#include "render/annotation/CairoHandles.h"

namespace tessarin::AnnotationMosaicRenderer {

// `regionFromBottom` is in source pixels with y measured from the image's
// bottom edge (drawing space); it must lie inside the source. Returns a
// premultiplied surface of the region's size, or nothing (always for
// blackOut, which callers fill instead).
CairoSurfacePtr renderedImage(const Image& source, AnnotationMosaicEffect effect, uint32_t radiusInSourcePixels,
                              const PixelRect& regionFromBottom);

// How far beyond the region, in source pixels, renderedImage reads the source.
uint32_t sourceReach(AnnotationMosaicEffect effect, uint32_t radiusInSourcePixels);

}  // namespace tessarin::AnnotationMosaicRenderer
