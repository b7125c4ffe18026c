#include "app/desktop/HistoryGridView.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

QRect qRect(const GridRect& r) { return {r.x, r.y, r.width, r.height}; }

// Decodes and scales one thumbnail file to fit `size`, on a background thread.
std::optional<QImage> decodeThumbnail(const std::filesystem::path& path, QSize size) {
    auto decoded = decodeImageFile(path);
    if (!decoded) return std::nullopt;
    const Image& image = *decoded;
    const QImage view(image.data(), static_cast<int>(image.width()), static_cast<int>(image.height()),
                      static_cast<qsizetype>(image.stride()), QImage::Format_RGBA8888);
    return view.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

HistoryGridView::HistoryGridView(CaptureHistoryWindowController& controller, std::filesystem::path thumbnails,
                                 Executor& main, Executor& background, QWidget* parent)
    : QAbstractScrollArea(parent),
      controller_(controller),
      thumbnails_(std::move(thumbnails)),
      main_(main),
      background_(background) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setMouseTracking(true);
    verticalScrollBar()->setSingleStep(metrics_.cellHeight() / 4);
    updateScrollRange();
}

HistoryGridLayout HistoryGridView::layout() const {
    return HistoryGridLayout(metrics_, viewport()->width(), controller_.model().cells().size());
}

std::vector<QPoint> HistoryGridView::firstCellButtonCentres() const {
    std::vector<QPoint> centres;
    const auto& cells = controller_.model().cells();
    if (cells.empty()) return centres;
    const HistoryGridLayout grid = layout();
    const size_t slots = cells.front().buttons.size() + 1;
    const int offset = verticalScrollBar()->value();
    for (size_t slot = 0; slot < slots; ++slot) {
        centres.push_back(qRect(grid.buttonRect(0, slot, slots)).translated(0, -offset).center());
    }
    return centres;
}

QRect HistoryGridView::firstCellBadgeRow() const {
    if (controller_.model().cells().empty()) return {};
    return qRect(layout().badgeRect(0)).translated(0, -verticalScrollBar()->value());
}

QPoint HistoryGridView::cellPitch() const {
    return {metrics_.cellWidth() + metrics_.spacing, metrics_.cellHeight() + metrics_.spacing};
}

void HistoryGridView::cellsChanged(const HistoryListChanges& changes) {
    for (const auto& id : changes.removed) cache_.forget(id);
    updateScrollRange();
    requestVisibleThumbnails();
    viewport()->update();
}

void HistoryGridView::updateScrollRange() {
    const HistoryGridLayout grid = layout();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, grid.contentHeight() - viewport()->height()));
}

void HistoryGridView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    requestVisibleThumbnails();
}

void HistoryGridView::scrollContentsBy(int, int) {
    requestVisibleThumbnails();
    viewport()->update();
}

void HistoryGridView::requestVisibleThumbnails() {
    const auto& cells = controller_.model().cells();
    const auto range = layout().visible(verticalScrollBar()->value(), viewport()->height());
    std::vector<ThumbnailKey> visible;
    for (size_t i = range.first; i < range.last; ++i) visible.push_back({cells[i].item.id, cells[i].thumbnailRevision});
    startLoads(cache_.show(visible));
}

void HistoryGridView::startLoads(const std::vector<ThumbnailKey>& keys) {
    const QSize size(metrics_.thumbnailWidth, metrics_.thumbnailHeight);
    for (const auto& key : keys) {
        const std::filesystem::path path = thumbnails_ / (key.id + ".jpg");
        runInBackground<std::optional<QImage>>(
            background_, main_, [path, size] { return decodeThumbnail(path, size); },
            lifetime_.guard([this, key](std::optional<QImage> picture) {
                if (picture) ++thumbnailsShown_;
                auto finished = cache_.finished(key, std::move(picture));
                if (finished.repaint) viewport()->update();
                startLoads(finished.start);
                checkThumbnailsVisible();
            }));
    }
}

void HistoryGridView::checkThumbnailsVisible() {
    if (!thumbnailsVisible_) return;
    const auto& cells = controller_.model().cells();
    const auto range = layout().visible(verticalScrollBar()->value(), viewport()->height());
    if (range.last == range.first) return;
    for (size_t i = range.first; i < range.last; ++i) {
        const auto& cell = cells[i];
        if (!cache_.picture(cell.item.id, cell.thumbnailRevision) && !cache_.failed(cell.item.id, cell.thumbnailRevision)) {
            return;
        }
    }
    std::exchange(thumbnailsVisible_, nullptr)(range.last - range.first);
}

void HistoryGridView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().window());
    painter.setRenderHint(QPainter::Antialiasing);
    const HistoryGridLayout grid = layout();
    const int offset = verticalScrollBar()->value();
    const auto range = grid.visible(offset, viewport()->height());
    painter.translate(0, -offset);
    for (size_t i = range.first; i < range.last; ++i) paintCell(painter, i, grid);
    if (firstPaint_ && range.last > range.first) std::exchange(firstPaint_, nullptr)();
}

void HistoryGridView::paintCell(QPainter& painter, size_t index, const HistoryGridLayout& grid) {
    const CaptureHistoryCell& cell = controller_.model().cells()[index];
    const QPalette& colors = palette();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.base());
    painter.drawRoundedRect(qRect(grid.cellRect(index)), 8, 8);

    const QRect thumbnailArea = qRect(grid.thumbnailRect(index));
    if (const QImage* picture = cache_.picture(cell.item.id, cell.thumbnailRevision)) {
        QRect target(QPoint(), picture->size());
        target.moveCenter(thumbnailArea.center());
        painter.drawImage(target, *picture);
    } else {
        painter.setBrush(colors.alternateBase());
        painter.drawRoundedRect(thumbnailArea, 4, 4);
        if (cache_.failed(cell.item.id, cell.thumbnailRevision)) {
            painter.setPen(colors.color(QPalette::PlaceholderText));
            painter.drawText(thumbnailArea, Qt::AlignCenter, QStringLiteral("No Preview"));
        }
    }

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(colors.color(QPalette::Text));
    painter.drawText(qRect(grid.titleRect(index)), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(cell.title));
    painter.setFont(font());

    // Badges: small pills, left to right.
    QRect badgeRow = qRect(grid.badgeRect(index));
    int x = badgeRow.x();
    for (const auto& badge : cell.badges) {
        const QString text = QString::fromStdString(badge);
        const int width = fontMetrics().horizontalAdvance(text) + 12;
        const QRect pill(x, badgeRow.y() + 1, width, badgeRow.height() - 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(badge == HistoryWindowText::pinnedBadge ? QColor(0x2f, 0x6f, 0xd6) : QColor(0x3a, 0x9a, 0x5b));
        painter.drawRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
        painter.setPen(Qt::white);
        painter.drawText(pill, Qt::AlignCenter, text);
        x += width + 6;
    }

    const size_t slots = cell.buttons.size() + 1;
    for (size_t slot = 0; slot < slots; ++slot) {
        const QRect button = qRect(grid.buttonRect(index, slot, slots));
        const bool hovered = hover_ && hover_->index == index &&
                             ((slot < cell.buttons.size() && hover_->part == HistoryGridHit::Part::button &&
                               hover_->button == slot) ||
                              (slot == cell.buttons.size() && hover_->part == HistoryGridHit::Part::moreActions));
        painter.setPen(colors.color(QPalette::Mid));
        painter.setBrush(hovered ? colors.midlight() : colors.button());
        painter.drawRoundedRect(button.adjusted(0, 0, -1, -1), 5, 5);
        painter.setPen(colors.color(QPalette::ButtonText));
        const QString label = slot < cell.buttons.size()
                                  ? QString::fromUtf8(titleOf(cell.buttons[slot]).data(),
                                                      static_cast<int>(titleOf(cell.buttons[slot]).size()))
                                  : QStringLiteral("\u2022\u2022\u2022");
        painter.drawText(button, Qt::AlignCenter, label);
    }
}

void HistoryGridView::mouseMoveEvent(QMouseEvent* event) {
    const auto& cells = controller_.model().cells();
    const QPoint point = event->position().toPoint() + QPoint(0, verticalScrollBar()->value());
    std::optional<HistoryGridHit> hit;
    const size_t buttons = cells.empty() ? 0 : cells.front().buttons.size();
    hit = layout().hitTest(point.x(), point.y(), buttons);
    if (hit != hover_) {
        hover_ = hit;
        viewport()->update();
    }
    const QString tip = hit && hit->part == HistoryGridHit::Part::moreActions
                            ? QString::fromUtf8(HistoryWindowText::moreActions.data(),
                                                static_cast<int>(HistoryWindowText::moreActions.size()))
                            : QString();
    viewport()->setToolTip(tip);
}

void HistoryGridView::leaveEvent(QEvent* event) {
    hover_.reset();
    viewport()->update();
    QAbstractScrollArea::leaveEvent(event);
}

void HistoryGridView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const auto& cells = controller_.model().cells();
    if (cells.empty()) return;
    const int offset = verticalScrollBar()->value();
    const QPoint point = event->position().toPoint() + QPoint(0, offset);
    const HistoryGridLayout grid = layout();
    const auto hit = grid.hitTest(point.x(), point.y(), cells.front().buttons.size());
    if (!hit || hit->index >= cells.size()) return;
    const CaptureHistoryCell& cell = cells[hit->index];
    if (hit->part == HistoryGridHit::Part::button && hit->button < cell.buttons.size()) {
        controller_.perform(cell.item.id, cell.buttons[hit->button]);
    } else if (hit->part == HistoryGridHit::Part::moreActions) {
        const size_t slots = cell.buttons.size() + 1;
        showMoreActions(hit->index, qRect(grid.buttonRect(hit->index, slots - 1, slots)).translated(0, -offset));
    }
}

void HistoryGridView::showMoreActions(size_t index, const QRect& button) {
    const CaptureHistoryCell& cell = controller_.model().cells()[index];
    auto* menu = new QMenu(QString::fromUtf8(HistoryWindowText::moreActions.data(),
                                             static_cast<int>(HistoryWindowText::moreActions.size())),
                           this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const HistoryAction action : cell.moreActions) {
        const auto title = titleOf(action);
        QAction* entry = menu->addAction(QString::fromUtf8(title.data(), static_cast<int>(title.size())));
        // The id, not the index: the list may change while the menu is open.
        QObject::connect(entry, &QAction::triggered,
                         [this, id = cell.item.id, action] { controller_.perform(id, action); });
    }
    menu->popup(viewport()->mapToGlobal(button.bottomLeft()));
}

}  // namespace tessarin
