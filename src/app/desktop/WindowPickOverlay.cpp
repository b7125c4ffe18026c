#include "app/desktop/WindowPickOverlay.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "app/desktop/DirectPaintWindow.h"
#include "app/desktop/OwnWindows.h"
#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtKeyboardGrab.h"

namespace tessarin {

class PickWindow final : public DirectPaintWindow {
public:
    PickWindow(WindowPickOverlay& owner, const DisplayDescription& display, const FrozenScreenFrame* frozen)
        : DirectPaintWindow(screenFor(display), frozen != nullptr), owner_(owner), display_(display),
          screen_(screenFor(display)) {
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
        setCursor(Qt::PointingHandCursor);
        setTitle(QStringLiteral("Tessarin Window Pick"));
        // The capture flow takes the overlay down itself, when it is done.
        markStaysOnScreen(*this, true);
        if (frozen) backdrop_ = backdropOf(*frozen);
    }

    // Lights the window under the pointer before the pointer moves.
    bool pointAtCursor() {
        const QPoint cursor = QCursor::pos();
        if (!geometry().contains(cursor)) return false;
        owner_.pointerAt(toGlobal(mapFromGlobal(QPointF(cursor))));
        return true;
    }

    // Only what was lit and what is lit now change.
    void highlightChanged() {
        const QRectF lit = litRect();
        for (const QRectF& r : {lit_, lit}) {
            if (!r.isNull()) scheduleRepaint(r.toAlignedRect().adjusted(-4, -4, 4, 4));
        }
        lit_ = lit;
    }

protected:
    void paintArea(QPainter& painter, const QRect& area) override {
        if (!backdrop_.isNull()) drawBackdrop(painter, area, backdrop_, size());
        QRegion dimmed(area);
        if (!lit_.isNull()) dimmed -= QRegion(lit_.toAlignedRect());
        painter.save();
        painter.setClipRegion(dimmed, Qt::IntersectClip);
        painter.fillRect(area, QColor(0, 0, 0, 100));
        painter.restore();
        if (!lit_.isNull()) {
            painter.setPen(QPen(QColor(0x3b, 0x82, 0xf6), 3));
            painter.drawRect(lit_.adjusted(1.5, 1.5, -1.5, -1.5));
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override { owner_.pointerAt(toGlobal(event->position())); }
    void mousePressEvent(QMouseEvent* event) override {
        owner_.pointerAt(toGlobal(event->position()));
        if (event->button() == Qt::LeftButton) owner_.pick();
        else if (event->button() == Qt::RightButton) owner_.cancel();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) owner_.cancel();
        else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) owner_.pick();
    }

private:
    QRectF litRect() const {
        const auto& window = owner_.highlighted();
        if (!window) return {};
        const Rect frame = displaySpaceRect(window->frame, owner_.primaryHeight());
        return qtRectOf(display_, screen_, frame).translated(-geometry().topLeft());
    }

    Point toGlobal(const QPointF& local) const {
        const double pointsPerPixel = pointsPerLogicalPixel(display_, screen_);
        return {display_.frame.x + local.x() * pointsPerPixel,
                display_.frame.y + display_.frame.height - local.y() * pointsPerPixel};
    }

    WindowPickOverlay& owner_;
    DisplayDescription display_;
    QScreen* screen_;
    QImage backdrop_;
    QRectF lit_;  // logical pixels of this window
};

WindowPickOverlay::WindowPickOverlay(std::vector<DisplayDescription> displays,
                                     std::shared_ptr<const FrozenScreens> frozen,
                                     std::vector<PickableWindow> windowsTopmostFirst, WindowPickExclusions exclusions,
                                     Done done)
    : displays_(std::move(displays)), frozen_(std::move(frozen)), windows_(std::move(windowsTopmostFirst)),
      exclusions_(std::move(exclusions)), done_(std::move(done)) {
    for (const auto& display : displays_) {
        if (display.primary || primaryHeight_ == 0) primaryHeight_ = display.frame.height;
        const FrozenScreenFrame* still = frozen_ && display.displayID ? frozen_->frame(*display.displayID) : nullptr;
        views_.push_back(std::make_unique<PickWindow>(*this, display, still));
    }
}

WindowPickOverlay::~WindowPickOverlay() {
    views_.clear();
    DirectPaintWindow::releaseBandBuffers();
}

void WindowPickOverlay::show() {
    for (auto& view : views_) {
        view->show();
        view->raise();
    }
    for (auto& view : views_) {
        if (view->pointAtCursor()) break;
    }
    if (!views_.empty()) grabKeyboardWithRetry(*views_.front(), [this] { cancel(); });
}

std::vector<uint32_t> WindowPickOverlay::windowIds() const {
    std::vector<uint32_t> ids;
    for (const auto& view : views_) ids.push_back(static_cast<uint32_t>(view->winId()));
    return ids;
}

void WindowPickOverlay::pointerAt(Point global) {
    auto under = topmostPickableWindowAt(windows_, windowSpacePoint(global, primaryHeight_), exclusions_);
    const bool changed = under.has_value() != highlighted_.has_value() ||
                         (under && highlighted_ && under->windowID != highlighted_->windowID);
    if (!changed) return;
    highlighted_ = std::move(under);
    for (auto& view : views_) view->highlightChanged();
}

void WindowPickOverlay::pick() {
    if (highlighted_) finish(highlighted_);
}

void WindowPickOverlay::cancel() { finish(std::nullopt); }

void WindowPickOverlay::finish(std::optional<WindowDescription> picked) {
    if (finished_) return;
    finished_ = true;
    for (auto& view : views_) {
        releaseKeyboard(*view);
        view->hide();
    }
    QTimer::singleShot(0, this, [this, picked = std::move(picked)] {
        auto done = std::move(done_);
        done_ = nullptr;
        if (done) done(picked);
    });
}

}  // namespace tessarin
