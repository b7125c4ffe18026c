#include "render/annotation/AnnotationTileCanvas.h"

#include <algorithm>
#include <cstring>

#include "core/annotation/AnnotationFingerprint.h"
#include "core/annotation/RectAnnotations.h"

namespace tessarin {
namespace {

uint32_t tilesAcross(uint32_t length, uint32_t side) { return length == 0 ? 0 : (length - 1) / side + 1; }

PixelRect clippedTo(const PixelRect& r, const PixelRect& bounds) {
    const int64_t x0 = std::max(r.x, bounds.x), y0 = std::max(r.y, bounds.y);
    const int64_t x1 = std::min(r.x + r.width, bounds.x + bounds.width);
    const int64_t y1 = std::min(r.y + r.height, bounds.y + bounds.height);
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

// Of the annotations drawn last time and still present, the largest set
// whose stacking order did not change (a longest increasing run of their
// former places). The others moved past something: what overlaps them may
// now cover them, or they it.
std::set<AnnotationID> AnnotationTileCanvas::stayingInOrder(const std::vector<AnnotationPtr>& annotations) const {
    std::vector<std::pair<size_t, AnnotationID>> survivors;  // former place, in the new order
    for (const auto& a : annotations) {
        if (!a) continue;
        const auto found = records_.find(a->id());
        if (found != records_.end()) survivors.emplace_back(found->second.index, a->id());
    }
    // Patience sorting: tails[k] is the survivor ending the best run of length k + 1.
    std::vector<size_t> tails, previous(survivors.size(), SIZE_MAX);
    for (size_t i = 0; i < survivors.size(); ++i) {
        const auto at = std::lower_bound(tails.begin(), tails.end(), survivors[i].first,
                                         [&](size_t t, size_t place) { return survivors[t].first < place; });
        if (at != tails.begin()) previous[i] = *(at - 1);
        if (at == tails.end()) tails.push_back(i); else *at = i;
    }
    std::set<AnnotationID> kept;
    for (size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = previous[i]) kept.insert(survivors[i].second);
    return kept;
}

AnnotationTileCanvas::AnnotationTileCanvas(std::shared_ptr<const Image> source, const Rect& imageDrawRect,
                                           const PangoTextEngine& text, uint32_t tileSide, size_t tileBudget)
    : source_(std::move(source)),
      drawRect_(imageDrawRect),
      text_(text),
      side_(std::max<uint32_t>(tileSide, 1)),
      tileBudget_(tileBudget),
      columns_(tilesAcross(source_->width(), side_)),
      rows_(tilesAcross(source_->height(), side_)),
      bands_(rows_),
      drawnOnce_(size_t{columns_} * rows_, 0),
      dirty_(size_t{columns_} * rows_, 1),
      mosaics_(*source_, imageDrawRect, SIZE_MAX, kMosaicCacheBytes),
      bandOpaque_(rows_, -1) {}

PixelRect AnnotationTileCanvas::tileRect(TileIndex index) const {
    const int64_t x = int64_t{index.column} * side_, y = int64_t{index.row} * side_;
    return {x, y, std::min<int64_t>(side_, source_->width() - x), std::min<int64_t>(side_, source_->height() - y)};
}

std::vector<PixelRect> AnnotationTileCanvas::update(const std::vector<AnnotationPtr>& annotations) {
    std::vector<PixelRect> changed;
    bool mosaicsChanged = false;
    const auto mark = [&](const PixelRect& pixels, const Annotation& which) {
        if (pixels.isEmpty()) return;
        invalidate(pixels);
        changed.push_back(pixels);
        if (dynamic_cast<const PixelateAnnotation*>(&which)) mosaicsChanged = true;
    };
    const std::set<AnnotationID> keptInOrder = stayingInOrder(annotations);
    std::map<AnnotationID, Record> next;
    placed_.clear();
    for (size_t i = 0; i < annotations.size(); ++i) {
        const AnnotationPtr& annotation = annotations[i];
        if (!annotation || next.count(annotation->id())) continue;
        std::string fingerprint = annotationFingerprint(*annotation);
        const auto old = records_.find(annotation->id());
        Record record;
        if (old != records_.end() && old->second.fingerprint == fingerprint) {
            record = std::move(old->second);
            if (!keptInOrder.count(annotation->id())) mark(record.pixels, *annotation);
        } else {
            if (old != records_.end()) mark(old->second.pixels, *old->second.annotation);
            record.fingerprint = std::move(fingerprint);
            record.pixels = ImageCompositor::touchedPixels(*source_, *annotation, drawRect_, text_);
            mark(record.pixels, *annotation);
        }
        if (old != records_.end()) records_.erase(old);
        record.index = i;
        record.annotation = annotation;
        if (!record.pixels.isEmpty()) placed_.push_back({annotation.get(), record.pixels});
        next.emplace(annotation->id(), std::move(record));
    }
    for (const auto& [id, gone] : records_) mark(gone.pixels, *gone.annotation);
    records_ = std::move(next);
    if (mosaicsChanged) ++mosaicRevision_;
    return changed;
}

void AnnotationTileCanvas::invalidate(const PixelRect& pixels) {
    const PixelRect r = clippedTo(pixels, {0, 0, source_->width(), source_->height()});
    if (r.isEmpty()) return;
    for (int64_t row = r.y / side_; row <= (r.y + r.height - 1) / side_; ++row) {
        for (int64_t column = r.x / side_; column <= (r.x + r.width - 1) / side_; ++column) {
            dirty_[slot({uint32_t(column), uint32_t(row)})] = 1;
        }
    }
}

void AnnotationTileCanvas::invalidateAll() { std::fill(dirty_.begin(), dirty_.end(), 1); }

std::vector<AnnotationTileCanvas::TileIndex> AnnotationTileCanvas::render(const std::optional<PixelRect>& visible) {
    const PixelRect whole{0, 0, source_->width(), source_->height()};
    const PixelRect area = visible ? clippedTo(*visible, whole) : whole;
    std::vector<TileIndex> drawn;
    if (area.isEmpty()) return drawn;
    const uint32_t firstColumn = uint32_t(area.x / side_), lastColumn = uint32_t((area.x + area.width - 1) / side_);
    for (uint32_t row = uint32_t(area.y / side_); row <= uint32_t((area.y + area.height - 1) / side_); ++row) {
        // Neighbouring dirty tiles of a row are drawn as one run: shapes
        // crossing them are set up and their pixels converted once.
        for (uint32_t column = firstColumn; column <= lastColumn;) {
            if (!needsDrawing({column, row})) {
                ++column;
                continue;
            }
            uint32_t end = column + 1;
            while (end <= lastColumn && needsDrawing({end, row})) ++end;
            drawRun(row, column, end, drawn);
            column = end;
        }
    }
    if (memoryBytes() > tileBudget_ + mosaics_.cachedBytes()) dropTilesOutside(area);
    return drawn;
}

bool AnnotationTileCanvas::needsDrawing(TileIndex index) const {
    const size_t at = slot(index);
    return dirty_[at] || !drawnOnce_[at];
}

bool AnnotationTileCanvas::sourceRowsOpaque(uint32_t row) {
    if (bandOpaque_[row] < 0) {
        const PixelRect rows = tileRect({0, row});
        bool opaque = true;
        for (int64_t y = rows.y; opaque && y < rows.y + rows.height; ++y) {
            const uint8_t* pixels = source_->row(uint32_t(y));
            for (uint32_t x = 0; x < source_->width(); ++x) opaque = opaque && pixels[size_t{x} * 4 + 3] == 0xFF;
        }
        bandOpaque_[row] = opaque ? 1 : 0;
    }
    return bandOpaque_[row] == 1;
}

void AnnotationTileCanvas::drawRun(uint32_t row, uint32_t firstColumn, uint32_t endColumn, std::vector<TileIndex>& drawn) {
    const PixelRect first = tileRect({firstColumn, row});
    const PixelRect last = tileRect({endColumn - 1, row});
    const PixelRect run{first.x, first.y, last.x + last.width - first.x, first.height};
    auto& band = bands_[row];
    if (!band) band = Image::allocate(source_->width(), uint32_t(first.height));
    if (!band || !ImageCompositor::compositeRegion(*source_, placed_, drawRect_, text_, run, *band, uint32_t(run.x), 0,
                                                   &mosaics_, &scratch_, sourceRowsOpaque(row))) {
        return;  // the tiles stay dirty
    }
    for (uint32_t column = firstColumn; column < endColumn; ++column) {
        const size_t at = slot({column, row});
        dirty_[at] = 0;
        drawnOnce_[at] = 1;
        drawn.push_back({column, row});
    }
}

void AnnotationTileCanvas::dropTilesOutside(const PixelRect& visible) {
    for (uint32_t row = 0; row < rows_; ++row) {
        if (!bands_[row] || !clippedTo(tileRect({0, row}), {0, visible.y, 1, visible.height}).isEmpty()) continue;
        bands_[row].reset();
        for (uint32_t column = 0; column < columns_; ++column) {
            dirty_[slot({column, row})] = 1;
            drawnOnce_[slot({column, row})] = 0;
        }
    }
}

std::optional<PixelView> AnnotationTileCanvas::tile(TileIndex index) const {
    if (index.column >= columns_ || index.row >= rows_ || !drawnOnce_[slot(index)] || !bands_[index.row]) {
        return std::nullopt;
    }
    const PixelRect r = tileRect(index);
    Image& band = const_cast<Image&>(*bands_[index.row]);  // a view for reading; PixelView has no const form
    return PixelView{band.row(0) + size_t(r.x) * 4, band.stride(), uint32_t(r.width), uint32_t(r.height)};
}

bool AnnotationTileCanvas::isDirty(TileIndex index) const {
    return index.column < columns_ && index.row < rows_ && dirty_[slot(index)];
}

size_t AnnotationTileCanvas::dirtyCount() const { return size_t(std::count(dirty_.begin(), dirty_.end(), 1)); }

std::optional<Image> AnnotationTileCanvas::snapshot() {
    render();
    if (dirtyCount() > 0) return std::nullopt;  // a tile failed to draw
    auto out = Image::allocate(source_->width(), source_->height());
    if (!out) return std::nullopt;
    for (uint32_t row = 0; row < rows_; ++row) {
        if (!bands_[row]) return std::nullopt;
        const Image& band = *bands_[row];
        for (uint32_t y = 0; y < band.height(); ++y) std::memcpy(out->row(row * side_ + y), band.row(y), band.stride());
    }
    return out;
}

size_t AnnotationTileCanvas::memoryBytes() const {
    size_t bytes = mosaics_.cachedBytes() + scratch_.capacity() + dirty_.size() + drawnOnce_.size() + bands_.capacity() * sizeof(bands_[0]);
    for (const auto& band : bands_) bytes += band ? band->byteCount() : 0;
    return bytes;
}

}  // namespace tessarin
