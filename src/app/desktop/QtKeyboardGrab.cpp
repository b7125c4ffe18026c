#include "app/desktop/QtKeyboardGrab.h"

#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace tessarin {
namespace {

constexpr int attempts = 20;
constexpr int retryMs = 25;

QWindow* handleOf(QWidget* widget) { return widget->windowHandle(); }
QWindow* handleOf(QWindow* window) { return window; }

template <class Window>
void tryGrab(QPointer<Window> window, int attemptsLeft, std::function<void()> failed) {
    if (!window) return;
    if (QWindow* handle = handleOf(window.data()); handle && handle->setKeyboardGrabEnabled(true)) return;
    if (attemptsLeft <= 1) {
        if (failed) failed();
        return;
    }
    QTimer::singleShot(retryMs, window, [window, attemptsLeft, failed = std::move(failed)]() mutable {
        tryGrab(window, attemptsLeft - 1, std::move(failed));
    });
}

}  // namespace

void grabKeyboardWithRetry(QWidget& window, std::function<void()> failed) {
    tryGrab(QPointer<QWidget>(&window), attempts, std::move(failed));
}

void grabKeyboardWithRetry(QWindow& window, std::function<void()> failed) {
    tryGrab(QPointer<QWindow>(&window), attempts, std::move(failed));
}

void releaseKeyboard(QWidget& window) {
    if (QWindow* handle = window.windowHandle()) handle->setKeyboardGrabEnabled(false);
}

void releaseKeyboard(QWindow& window) { window.setKeyboardGrabEnabled(false); }

QImage backdropOf(const FrozenScreenFrame& frame) {
    return QImage(frame.image.data(), static_cast<int>(frame.image.width()), static_cast<int>(frame.image.height()),
                  static_cast<qsizetype>(frame.image.stride()), QImage::Format_RGBX8888);
}

}  // namespace tessarin
