#pragma once
// The history window's grid: paints the cells the viewport shows (the
// layout is core/history/HistoryGridLayout) and forwards clicks to the
// controller. Thumbnails are decoded and scaled on the background executor,
// only for the cells on the screen (HistoryThumbnailCache), so painting
// never waits for a file.

#include <QAbstractScrollArea>
#include <QImage>

#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/history/CaptureHistoryWindowController.h"
#include "core/history/HistoryGridLayout.h"
#include "core/history/HistoryThumbnailCache.h"

namespace tessarin {

class HistoryGridView final : public QAbstractScrollArea {
public:
    HistoryGridView(CaptureHistoryWindowController& controller, std::filesystem::path thumbnails, Executor& main,
                    Executor& background, QWidget* parent = nullptr);

    // The cells changed: refresh the scroll range, drop pictures of items
    // that left, load what is now on the screen.
    void cellsChanged(const HistoryListChanges& changes);

    // Called once, after the first paint that shows cells.
    void onFirstPaint(std::function<void()> call) { firstPaint_ = std::move(call); }

    // Called once, when every cell on the screen first has its thumbnail
    // (or its failure), with how many cells that is.
    void onThumbnailsVisible(std::function<void(size_t)> call) { thumbnailsVisible_ = std::move(call); }

    // Where a cell's buttons are, for scripts that drive the window: the
    // centre of each of cell 0's buttons ("More Actions" last) in the
    // viewport, and the distance from one cell to the next across and down.
    std::vector<QPoint> firstCellButtonCentres() const;
    QPoint cellPitch() const;
    QRect firstCellBadgeRow() const;
    size_t columns() const { return layout().columns(); }

    // For the benchmark's log: thumbnails decoded so far.
    int thumbnailsShown() const { return thumbnailsShown_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    HistoryGridLayout layout() const;
    void updateScrollRange();
    void requestVisibleThumbnails();
    void startLoads(const std::vector<ThumbnailKey>& keys);
    void paintCell(QPainter& painter, size_t index, const HistoryGridLayout& grid);
    void showMoreActions(size_t index, const QRect& button);

    CaptureHistoryWindowController& controller_;
    std::filesystem::path thumbnails_;
    Executor& main_;
    Executor& background_;
    HistoryGridMetrics metrics_;
    HistoryThumbnailCache<QImage> cache_{240, 2};
    std::optional<HistoryGridHit> hover_;
    int thumbnailsShown_ = 0;
    std::function<void()> firstPaint_;
    std::function<void(size_t)> thumbnailsVisible_;
    void checkThumbnailsVisible();
    LifetimeToken lifetime_;  // last: invalidated first
};

}  // namespace tessarin
