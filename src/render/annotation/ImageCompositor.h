#pragma once
// Draws annotations over an image: the one rendering path the editor's
// export, the agent's annotate command and the tests share.
//
// The image is drawn in tiles, so its size is bounded only by what an
// Image may hold, not by the drawing library's surfaces (32767 pixels a
// side), and only the parts that shapes touch are converted and drawn. A
// tile draws every shape that reaches it exactly as one surface over the
// whole image would: the same pixels, whatever the tile size.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/common/Image.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {
class AnnotationRenderContext;
}

namespace tessarin::ImageCompositor {

// Tiles are bands across the image, split into columns when they are wider
// than `maxTileWidth`. Every tile gives exactly one surface's pixels: a
// tile is drawn on a surface wide enough to hold whole every shape that
// reaches it. Only a shape wider than a surface can be, crossing a column
// edge, is clipped there, and Cairo rounds a clipped shape a little
// differently (a level or two on a few of its pixels).
struct Tiling {
    // Cairo's image surfaces hold at most this many pixels a side.
    static constexpr uint32_t kLargestTile = 32767;

    uint32_t maxTileWidth = kLargestTile;
    uint32_t maxTileHeight = 4096;
    // Bands of tiles are as tall as fits in about this many bytes (at least a row).
    size_t bandBytes = size_t{4} << 20;

    // One tile over any image a surface can hold.
    static Tiling singleSurface() { return {kLargestTile, kLargestTile, SIZE_MAX}; }
};

// The annotations drawn in list order (hidden ones skipped) over `source`,
// whose pixels cover `imageDrawRect` of drawing space. The result has the
// source's pixel size, and a pixel differs from the source's only where a
// shape painted it. Nothing when the draw rectangle is empty or drawing fails.
std::optional<Image> composite(const Image& source, const std::vector<AnnotationPtr>& annotations,
                               const Rect& imageDrawRect, const PangoTextEngine& text, const Tiling& tiling = {});
// The same drawn over `image` itself, sparing a second full-size buffer.
// False when composite would give nothing; after a failure while drawing,
// `image` may hold part of the drawing and should be dropped.
bool compositeInPlace(Image& image, const std::vector<AnnotationPtr>& annotations, const Rect& imageDrawRect,
                      const PangoTextEngine& text, const Tiling& tiling = {});

// A visible annotation and the image pixels drawing it can change.
struct PlacedAnnotation {
    const Annotation* annotation = nullptr;
    PixelRect pixels;  // origin top-left; never empty
};

// Where each visible annotation of the list, in order, can change pixels of
// `source` drawn over `imageDrawRect` (hidden and off-image ones are left out).
std::vector<PlacedAnnotation> placedAnnotations(const Image& source, const std::vector<AnnotationPtr>& annotations,
                                                const Rect& imageDrawRect, const PangoTextEngine& text);
// Where drawing `annotation` can change pixels of `source`; empty when it
// is hidden or off the image.
PixelRect touchedPixels(const Image& source, const Annotation& annotation, const Rect& imageDrawRect,
                        const PangoTextEngine& text);

// The composite's pixels of `region` (inside the image) only, written into
// `out` at (outX, outY) (where the region must fit): exactly what
// composite() gives there. `placed` comes from placedAnnotations (its
// annotations must be alive and unchanged since). `mosaics`, when given, is
// a render context over `source` that keeps processed mosaic regions from
// call to call; `scratch`, when given, is working memory kept likewise;
// `sourceIsOpaque` says every source pixel has alpha 255 (isOpaque).
bool compositeRegion(const Image& source, const std::vector<PlacedAnnotation>& placed, const Rect& imageDrawRect,
                     const PangoTextEngine& text, const PixelRect& region, Image& out, uint32_t outX = 0,
                     uint32_t outY = 0, AnnotationRenderContext* mosaics = nullptr,
                     std::vector<uint8_t>* scratch = nullptr, bool sourceIsOpaque = false);

}  // namespace tessarin::ImageCompositor
