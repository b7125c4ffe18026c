#pragma once
// The editor canvas's pixels at 100%: the image with its annotations, kept
// as a grid of tiles drawn by the same renderer as the export, so what the
// canvas shows is byte for byte what Done delivers (before crop and frame).
//
// After every edit the editor hands the canvas the document's annotations;
// the canvas compares each one with what it last drew (by fingerprint,
// place and stacking order) and marks only the tiles under the old and the
// new drawing dirty. Drawing then redraws dirty tiles that are visible, so
// a drag repaints a few tiles and a very tall capture draws only what is
// on screen. The window only blits tiles; it never draws annotations.
//
// One mosaic render context lives as long as the canvas, so processed
// mosaic regions survive from one edit to the next.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/annotation/Annotation.h"
#include "core/common/Image.h"
#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/PangoTextEngine.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin {

class AnnotationTileCanvas {
public:
    static constexpr uint32_t kDefaultTileSide = 256;
    // Drawn tiles beyond this many bytes are dropped when out of view.
    static constexpr size_t kDefaultTileBudget = size_t{96} << 20;
    // Processed mosaic regions kept between edits.
    static constexpr size_t kMosaicCacheBytes = size_t{32} << 20;

    struct TileIndex {
        uint32_t column = 0;
        uint32_t row = 0;
        friend bool operator==(const TileIndex&, const TileIndex&) = default;
    };

    // `text` must outlive the canvas. `imageDrawRect` is where the image
    // lies in drawing space (its size is the image's size in points).
    AnnotationTileCanvas(std::shared_ptr<const Image> source, const Rect& imageDrawRect, const PangoTextEngine& text,
                         uint32_t tileSide = kDefaultTileSide, size_t tileBudget = kDefaultTileBudget);

    const Image& source() const { return *source_; }
    const Rect& imageDrawRect() const { return drawRect_; }
    uint32_t tileSide() const { return side_; }
    uint32_t columns() const { return columns_; }
    uint32_t rows() const { return rows_; }
    // The tile's pixels in the image (origin top-left).
    PixelRect tileRect(TileIndex index) const;

    // Takes the annotations as they are now (call it after every edit,
    // before drawing). Returns the image pixel rectangles whose drawing
    // changed, for the window to repaint.
    std::vector<PixelRect> update(const std::vector<AnnotationPtr>& annotations);
    // Changes whenever an update changed what a mosaic box draws: the
    // revision a blurred backdrop's cache key needs.
    uint64_t mosaicRevision() const { return mosaicRevision_; }
    void invalidate(const PixelRect& pixels);
    void invalidateAll();

    // Draws the dirty tiles meeting `visible` (image pixels; the whole
    // image when absent) and returns them. A tile that fails to draw stays
    // dirty and is left out.
    std::vector<TileIndex> render(const std::optional<PixelRect>& visible = std::nullopt);

    // A drawn tile's pixels (straight RGBA, rows `stride` bytes apart), or
    // nothing when it was never drawn or has been dropped. Valid until the
    // next render().
    std::optional<PixelView> tile(TileIndex index) const;
    bool isDirty(TileIndex index) const;
    size_t dirtyCount() const;
    // Every tile drawn and joined: the canvas at 100%.
    std::optional<Image> snapshot();

    // Tile buffers and cached mosaic regions.
    size_t memoryBytes() const;
    const AnnotationRenderContext& mosaics() const { return mosaics_; }

private:
    struct Record {
        std::string fingerprint;
        PixelRect pixels;
        size_t index = 0;
        AnnotationPtr annotation;  // kept alive: placed_ points into it
    };

    size_t slot(TileIndex index) const { return size_t{index.row} * columns_ + index.column; }
    void dropTilesOutside(const PixelRect& visible);
    bool needsDrawing(TileIndex index) const;
    bool sourceRowsOpaque(uint32_t row);
    void drawRun(uint32_t row, uint32_t firstColumn, uint32_t endColumn, std::vector<TileIndex>& drawn);
    std::set<AnnotationID> stayingInOrder(const std::vector<AnnotationPtr>& annotations) const;

    std::shared_ptr<const Image> source_;
    Rect drawRect_;
    const PangoTextEngine& text_;
    uint32_t side_;
    size_t tileBudget_;
    uint32_t columns_;
    uint32_t rows_;
    // One image per row of tiles, as wide as the source: a run of tiles is
    // drawn straight into it. Allocated when a tile of the row is drawn.
    std::vector<std::optional<Image>> bands_;
    std::vector<uint8_t> drawnOnce_;
    std::vector<uint8_t> dirty_;
    std::map<AnnotationID, Record> records_;
    std::vector<ImageCompositor::PlacedAnnotation> placed_;
    AnnotationRenderContext mosaics_;
    std::vector<uint8_t> scratch_;  // the drawing surface's memory, kept between draws
    // Per row of tiles, whether the source's pixels there are all opaque (as
    // a screenshot's are: drawing then reads them once); -1 until looked at.
    std::vector<int8_t> bandOpaque_;
    uint64_t mosaicRevision_ = 0;
};

}  // namespace tessarin
