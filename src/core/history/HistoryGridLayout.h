#pragma once
// Where the history window's cells and their parts are, in the scrolled
// content's pixels: a grid of fixed-size cells, left to right, then down,
// as many columns as the width holds (at least one). Each cell stacks its
// thumbnail, its title, its badges and a row of buttons whose last one
// opens "More Actions".
//
//   +--------------------+
//   | thumbnail          |
//   | title              |
//   | badges             |
//   | [b0] [b1] [More]   |
//   +--------------------+

#include <cstddef>
#include <optional>

namespace tessarin {

struct GridRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
    friend bool operator==(const GridRect&, const GridRect&) = default;
};

struct HistoryGridMetrics {
    int margin = 16;
    int spacing = 12;
    int padding = 8;
    int thumbnailWidth = 200;
    int thumbnailHeight = 150;  // the history's thumbnails are 4:3
    int textRowHeight = 20;
    int buttonHeight = 26;
    int buttonSpacing = 6;

    int cellWidth() const { return thumbnailWidth + 2 * padding; }
    int cellHeight() const { return padding + thumbnailHeight + 6 + 2 * textRowHeight + 6 + buttonHeight + padding; }
};

struct HistoryGridHit {
    enum class Part { cell, button, moreActions };
    size_t index = 0;
    Part part = Part::cell;
    size_t button = 0;  // with Part::button
    friend bool operator==(const HistoryGridHit&, const HistoryGridHit&) = default;
};

class HistoryGridLayout {
public:
    HistoryGridLayout(HistoryGridMetrics metrics, int viewportWidth, size_t count);

    size_t columns() const { return columns_; }
    size_t rows() const;
    int contentHeight() const;
    GridRect cellRect(size_t index) const;
    GridRect thumbnailRect(size_t index) const;
    GridRect titleRect(size_t index) const;
    GridRect badgeRect(size_t index) const;
    // Button `slot` of `slots` in the cell's button row (the last slot is
    // "More Actions").
    GridRect buttonRect(size_t index, size_t slot, size_t slots) const;

    // The cells that a viewport `height` pixels tall, scrolled down by
    // `offset`, shows at least partly: [first, last).
    struct Range {
        size_t first = 0;
        size_t last = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };
    Range visible(int offset, int height) const;

    // What the content point is on, given each cell's number of buttons
    // (without "More Actions"); nothing between cells.
    std::optional<HistoryGridHit> hitTest(int x, int y, size_t buttonsPerCell) const;

    const HistoryGridMetrics& metrics() const { return metrics_; }

private:
    HistoryGridMetrics metrics_;
    size_t count_;
    size_t columns_;
};

}  // namespace tessarin
