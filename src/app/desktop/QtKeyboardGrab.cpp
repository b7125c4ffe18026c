#include "app/desktop/QtKeyboardGrab.h"

#include <algorithm>

#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "app/desktop/QtWindowing.h"

namespace tessarin {
namespace {

constexpr int attempts = 20;
constexpr int retryMs = 25;

void tryGrab(QPointer<QWindow> window, int attemptsLeft, std::function<void()> failed) {
    if (!window) return;
    if (window->setKeyboardGrabEnabled(true)) return;
    if (attemptsLeft <= 1) {
        if (failed) failed();
        return;
    }
    QTimer::singleShot(retryMs, window, [window, attemptsLeft, failed = std::move(failed)]() mutable {
        tryGrab(window, attemptsLeft - 1, std::move(failed));
    });
}

}  // namespace

void grabKeyboardWithRetry(QWindow& window, std::function<void()> failed) {
    // Wayland has no keyboard grabs: the full-screen window the compositor
    // just mapped gets the focus instead, and with it the keys.
    if (compositorPlacesWindows()) {
        window.requestActivate();
        return;
    }
    tryGrab(QPointer<QWindow>(&window), attempts, std::move(failed));
}

void releaseKeyboard(QWindow& window) {
    if (!compositorPlacesWindows()) window.setKeyboardGrabEnabled(false);
}

void drawBackdrop(QPainter& painter, const QRect& area, const QImage& backdrop, QSize windowSize) {
    const qreal scaleX = backdrop.width() / qreal(std::max(1, windowSize.width()));
    const qreal scaleY = backdrop.height() / qreal(std::max(1, windowSize.height()));
    painter.drawImage(QRectF(area), backdrop,
                      QRectF(area.x() * scaleX, area.y() * scaleY, area.width() * scaleX, area.height() * scaleY));
}

QImage backdropOf(const FrozenScreenFrame& frame) {
    return QImage(frame.image.data(), static_cast<int>(frame.image.width()), static_cast<int>(frame.image.height()),
                  static_cast<qsizetype>(frame.image.stride()), QImage::Format_RGBX8888);
}

}  // namespace tessarin
