#pragma once
// Software pixelation: the whole image shrunk to (W / block) x (H / block)
// by averaging, then enlarged back without interpolation. The mosaic
// renderer falls back to it when its own path cannot produce a region.

#include <cstdint>

#include "render/annotation/PixelBuffer.h"

namespace tessarin::AnnotationPixelator {

// A new surface of the source's size; nothing when it cannot be allocated.
CairoSurfacePtr pixelatedImage(const PixelView& source, uint32_t pixelBlockSize);

}  // namespace tessarin::AnnotationPixelator
