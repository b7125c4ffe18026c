#include <gtest/gtest.h>

#include "core/history/HistoryGridLayout.h"

namespace tessarin {
namespace {

// Default metrics: cells 216 x 244, 12 apart, 16 from the edges.
const HistoryGridMetrics metrics;

TEST(HistoryGridLayout, ColumnsAreWhatTheWidthHolds) {
    const std::vector<std::pair<int, size_t>> cases = {
        {0, 1}, {475, 1}, {476, 2}, {960, 4},
    };
    for (const auto& [width, columns] : cases) {
        EXPECT_EQ(HistoryGridLayout(metrics, width, 10).columns(), columns) << width;
    }
}

TEST(HistoryGridLayout, CellsGoAcrossThenDown) {
    const HistoryGridLayout grid(metrics, 704, 7);  // three columns
    EXPECT_EQ(grid.cellRect(0), (GridRect{16, 16, 216, 244}));
    EXPECT_EQ(grid.cellRect(2), (GridRect{16 + 2 * 228, 16, 216, 244}));
    EXPECT_EQ(grid.cellRect(3), (GridRect{16, 16 + 256, 216, 244}));
    EXPECT_EQ(grid.rows(), 3u);
    EXPECT_EQ(grid.contentHeight(), 32 + 3 * 244 + 2 * 12);
    EXPECT_EQ(HistoryGridLayout(metrics, 704, 0).contentHeight(), 0);
}

TEST(HistoryGridLayout, PartsStayInsideTheirCell) {
    const HistoryGridLayout grid(metrics, 704, 4);
    for (size_t i = 0; i < 4; ++i) {
        const GridRect cell = grid.cellRect(i);
        for (const GridRect& part : {grid.thumbnailRect(i), grid.titleRect(i), grid.badgeRect(i),
                                     grid.buttonRect(i, 0, 3), grid.buttonRect(i, 2, 3)}) {
            EXPECT_TRUE(cell.contains(part.x, part.y) && cell.contains(part.x + part.width - 1, part.y + part.height - 1))
                << i;
        }
        // Buttons side by side, not overlapping.
        EXPECT_LT(grid.buttonRect(i, 0, 3).x + grid.buttonRect(i, 0, 3).width, grid.buttonRect(i, 1, 3).x);
    }
}

TEST(HistoryGridLayout, VisibleRangeCoversPartlyShownRows) {
    const HistoryGridLayout grid(metrics, 704, 500);  // 167 rows, 256 px apart
    EXPECT_EQ(grid.visible(0, 600), (HistoryGridLayout::Range{0, 9}));       // rows 0-2
    EXPECT_EQ(grid.visible(256, 256), (HistoryGridLayout::Range{0, 6}));     // row 0's last pixels, row 1
    EXPECT_EQ(grid.visible(272, 256), (HistoryGridLayout::Range{3, 6}));     // row 1 only
    EXPECT_EQ(grid.visible(100000, 600), (HistoryGridLayout::Range{500, 500}));
    EXPECT_EQ(grid.visible(0, 0), (HistoryGridLayout::Range{}));
    const auto last = grid.visible(grid.contentHeight() - 300, 300);
    EXPECT_EQ(last.last, 500u);
    EXPECT_EQ(HistoryGridLayout(metrics, 704, 0).visible(0, 600), (HistoryGridLayout::Range{}));
}

TEST(HistoryGridLayout, HitTestFindsButtonsAndMoreActions) {
    const HistoryGridLayout grid(metrics, 704, 4);
    const auto centre = [](GridRect r) { return std::pair{r.x + r.width / 2, r.y + r.height / 2}; };
    const auto [bx, by] = centre(grid.buttonRect(4 - 1, 1, 3));
    EXPECT_EQ(grid.hitTest(bx, by, 2), (HistoryGridHit{3, HistoryGridHit::Part::button, 1}));
    const auto [mx, my] = centre(grid.buttonRect(1, 2, 3));
    EXPECT_EQ(grid.hitTest(mx, my, 2), (HistoryGridHit{1, HistoryGridHit::Part::moreActions, 0}));
    const auto [tx, ty] = centre(grid.thumbnailRect(2));
    EXPECT_EQ(grid.hitTest(tx, ty, 2), (HistoryGridHit{2, HistoryGridHit::Part::cell, 0}));
    // The margin, the gap between cells, a place with no cell, outside.
    EXPECT_FALSE(grid.hitTest(5, 5, 2));
    EXPECT_FALSE(grid.hitTest(16 + 216 + 5, 50, 2));
    EXPECT_FALSE(grid.hitTest(16 + 228 + 20, 16 + 256 + 20, 2));  // index 4 of 4
    EXPECT_FALSE(grid.hitTest(700, 50, 2));
}

}  // namespace
}  // namespace tessarin
