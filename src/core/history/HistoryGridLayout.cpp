#include "core/history/HistoryGridLayout.h"

#include <algorithm>

namespace tessarin {

HistoryGridLayout::HistoryGridLayout(HistoryGridMetrics metrics, int viewportWidth, size_t count)
    : metrics_(metrics), count_(count) {
    const int usable = viewportWidth - 2 * metrics_.margin + metrics_.spacing;
    const int stride = metrics_.cellWidth() + metrics_.spacing;
    columns_ = static_cast<size_t>(std::max(1, usable / stride));
}

size_t HistoryGridLayout::rows() const { return (count_ + columns_ - 1) / columns_; }

int HistoryGridLayout::contentHeight() const {
    const int rowCount = static_cast<int>(rows());
    if (rowCount == 0) return 0;
    return 2 * metrics_.margin + rowCount * metrics_.cellHeight() + (rowCount - 1) * metrics_.spacing;
}

GridRect HistoryGridLayout::cellRect(size_t index) const {
    const int column = static_cast<int>(index % columns_);
    const int row = static_cast<int>(index / columns_);
    return {metrics_.margin + column * (metrics_.cellWidth() + metrics_.spacing),
            metrics_.margin + row * (metrics_.cellHeight() + metrics_.spacing), metrics_.cellWidth(),
            metrics_.cellHeight()};
}

GridRect HistoryGridLayout::thumbnailRect(size_t index) const {
    const GridRect cell = cellRect(index);
    return {cell.x + metrics_.padding, cell.y + metrics_.padding, metrics_.thumbnailWidth, metrics_.thumbnailHeight};
}

GridRect HistoryGridLayout::titleRect(size_t index) const {
    const GridRect thumbnail = thumbnailRect(index);
    return {thumbnail.x, thumbnail.y + thumbnail.height + 6, thumbnail.width, metrics_.textRowHeight};
}

GridRect HistoryGridLayout::badgeRect(size_t index) const {
    GridRect title = titleRect(index);
    title.y += metrics_.textRowHeight;
    return title;
}

GridRect HistoryGridLayout::buttonRect(size_t index, size_t slot, size_t slots) const {
    const GridRect badges = badgeRect(index);
    const int count = static_cast<int>(std::max<size_t>(slots, 1));
    const int width = (metrics_.thumbnailWidth - (count - 1) * metrics_.buttonSpacing) / count;
    return {badges.x + static_cast<int>(slot) * (width + metrics_.buttonSpacing), badges.y + badges.height + 6, width,
            metrics_.buttonHeight};
}

HistoryGridLayout::Range HistoryGridLayout::visible(int offset, int height) const {
    if (count_ == 0 || height <= 0) return {};
    const int stride = metrics_.cellHeight() + metrics_.spacing;
    const int top = std::max(0, offset - metrics_.margin);
    const int bottom = std::max(0, offset + height - metrics_.margin);
    const size_t firstRow = static_cast<size_t>(top / stride);
    const size_t lastRow = static_cast<size_t>((bottom + stride - 1) / stride);
    return {std::min(count_, firstRow * columns_), std::min(count_, lastRow * columns_)};
}

std::optional<HistoryGridHit> HistoryGridLayout::hitTest(int x, int y, size_t buttonsPerCell) const {
    const int strideX = metrics_.cellWidth() + metrics_.spacing;
    const int strideY = metrics_.cellHeight() + metrics_.spacing;
    if (x < metrics_.margin || y < metrics_.margin) return std::nullopt;
    const size_t column = static_cast<size_t>((x - metrics_.margin) / strideX);
    const size_t row = static_cast<size_t>((y - metrics_.margin) / strideY);
    if (column >= columns_) return std::nullopt;
    const size_t index = row * columns_ + column;
    if (index >= count_ || !cellRect(index).contains(x, y)) return std::nullopt;
    const size_t slots = buttonsPerCell + 1;
    for (size_t slot = 0; slot < slots; ++slot) {
        if (!buttonRect(index, slot, slots).contains(x, y)) continue;
        if (slot == buttonsPerCell) return HistoryGridHit{index, HistoryGridHit::Part::moreActions, 0};
        return HistoryGridHit{index, HistoryGridHit::Part::button, slot};
    }
    return HistoryGridHit{index, HistoryGridHit::Part::cell, 0};
}

}  // namespace tessarin
