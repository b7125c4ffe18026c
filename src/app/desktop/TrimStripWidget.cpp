#include "app/desktop/TrimStripWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tessarin {

TrimStripWidget::TrimStripWidget(double duration, std::function<void(TrimRangeControl::Part)> changed, QWidget* parent)
    : QWidget(parent), control_(duration), changed_(std::move(changed)) {
    setObjectName("trimStrip");
    setMinimumHeight(56);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void TrimStripWidget::setFrame(size_t index, size_t count, QImage frame) {
    if (frames_.size() != count) frames_.assign(count, QImage());
    if (index < frames_.size()) frames_[index] = std::move(frame);
    update();
}

void TrimStripWidget::resizeEvent(QResizeEvent*) { control_.setTrack(kInset, std::max(0, width() - 2 * kInset)); }

void TrimStripWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF track(control_.trackLeft(), 6, control_.trackWidth(), height() - 12);
    painter.fillRect(track, QColor(30, 30, 34));
    if (!frames_.empty()) {
        const double slot = track.width() / static_cast<double>(frames_.size());
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (frames_[i].isNull()) continue;
            const QRectF cell(track.left() + slot * static_cast<double>(i), track.top(), slot, track.height());
            const QImage scaled = frames_[i].scaled(cell.size().toSize(), Qt::KeepAspectRatioByExpanding, Qt::FastTransformation);
            painter.save();
            painter.setClipRect(cell);
            painter.drawImage(cell.center() - QPointF(scaled.width() / 2.0, scaled.height() / 2.0), scaled);
            painter.restore();
        }
    }
    const MediaTimeRange range = control_.range();
    const double startX = control_.xForTime(range.start);
    const double endX = control_.xForTime(range.end());
    const QColor dim(0, 0, 0, 160);
    painter.fillRect(QRectF(track.left(), track.top(), startX - track.left(), track.height()), dim);
    painter.fillRect(QRectF(endX, track.top(), track.right() - endX, track.height()), dim);
    const QColor handle(250, 200, 40);
    painter.setPen(QPen(handle, 3));
    painter.drawLine(QPointF(startX, track.top()), QPointF(endX, track.top()));
    painter.drawLine(QPointF(startX, track.bottom()), QPointF(endX, track.bottom()));
    painter.fillRect(QRectF(startX - 6, track.top() - 4, 8, track.height() + 8), handle);
    painter.fillRect(QRectF(endX - 2, track.top() - 4, 8, track.height() + 8), handle);
    const double playheadX = control_.xForTime(control_.playhead());
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(QPointF(playheadX, 0), QPointF(playheadX, height()));
}

void TrimStripWidget::mousePressEvent(QMouseEvent* event) {
    const auto part = control_.press(event->position().x());
    update();
    if (part != TrimRangeControl::Part::none && changed_) changed_(part);
}

void TrimStripWidget::mouseMoveEvent(QMouseEvent* event) {
    if (control_.dragging() == TrimRangeControl::Part::none) {
        const auto over = control_.hitTest(event->position().x());
        const bool onHandle = over == TrimRangeControl::Part::startHandle || over == TrimRangeControl::Part::endHandle;
        setCursor(onHandle ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const auto part = control_.drag(event->position().x());
    update();
    if (changed_) changed_(part);
}

void TrimStripWidget::mouseReleaseEvent(QMouseEvent*) { control_.release(); }

}  // namespace tessarin

namespace tessarin {

void TrimStripWidget::keyPressEvent(QKeyEvent* event) {
    const double step = event->modifiers() & Qt::ShiftModifier ? 1.0 : 0.1;
    TrimRangeControl::Part moved = TrimRangeControl::Part::none;
    switch (event->key()) {
        case Qt::Key_Left: control_.stepPlayhead(-step), moved = TrimRangeControl::Part::playhead; break;
        case Qt::Key_Right: control_.stepPlayhead(step), moved = TrimRangeControl::Part::playhead; break;
        case Qt::Key_I:
            if (control_.startAtPlayhead()) moved = TrimRangeControl::Part::startHandle;
            break;
        case Qt::Key_O:
            if (control_.endAtPlayhead()) moved = TrimRangeControl::Part::endHandle;
            break;
        default: return QWidget::keyPressEvent(event);
    }
    update();
    if (moved != TrimRangeControl::Part::none && changed_) changed_(moved);
}

}  // namespace tessarin
