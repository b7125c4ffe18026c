#pragma once
// The self-timer's countdown over the selection: a badge with the seconds
// left, shown without taking the keyboard focus, so a menu or popup being
// timed stays open. Escape anywhere cancels it (heard through a key-press
// watcher that takes the key from nobody).

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/KeyPressWatcher.h"

class QSocketNotifier;

namespace tessarin {

class SelfTimerHud final : public QWidget {
public:
    using Done = std::function<void(bool completed)>;
    // `watchEscape` makes the watcher (it may give none: then only the
    // countdown's end closes the HUD).
    using WatcherFactory = std::function<std::unique_ptr<KeyPressWatcher>(std::function<void()> pressed)>;

    explicit SelfTimerHud(WatcherFactory watchEscape);
    ~SelfTimerHud() override;

    // Counts `seconds` down over `area` (Qt global logical pixels) and calls
    // `done` once: true at zero (the HUD is hidden by then), false on Escape.
    void run(int seconds, const QRectF& area, Done done);
    void cancel();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void tick();
    void finish(bool completed);

    WatcherFactory watchEscape_;
    std::unique_ptr<KeyPressWatcher> watcher_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
    int remaining_ = 0;
    Done done_;
};

}  // namespace tessarin
