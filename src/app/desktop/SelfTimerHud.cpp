#include "app/desktop/SelfTimerHud.h"

#include <QPainter>
#include <QPainterPath>
#include <QSocketNotifier>

#include "app/desktop/TrayIcon.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

constexpr int badgeSide = 132;

}  // namespace

SelfTimerHud::SelfTimerHud(WatcherFactory watchEscape)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput),
      watchEscape_(std::move(watchEscape)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Tessarin Self-Timer"));
    setWindowIcon(smallWindowIcon());
    setFixedSize(badgeSide, badgeSide);
    // Round without a compositor: the window itself is cut to the badge.
    QPainterPath round;
    round.addRoundedRect(QRectF(0, 0, badgeSide, badgeSide), 28, 28);
    setMask(QRegion(round.toFillPolygon().toPolygon()));
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

SelfTimerHud::~SelfTimerHud() = default;

void SelfTimerHud::run(int seconds, const QRectF& area, Done done) {
    done_ = std::move(done);
    remaining_ = std::max(1, seconds);
    if (watchEscape_) watcher_ = watchEscape_([this] { cancel(); });
    if (watcher_ && watcher_->eventDescriptor() >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(watcher_->eventDescriptor(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            if (watcher_) watcher_->processPendingEvents();
        });
    }
    move(area.center().toPoint() - QPoint(badgeSide / 2, badgeSide / 2));
    show();
    raise();
    timer_.start();
}

void SelfTimerHud::cancel() {
    if (!done_) return;
    logLine(LogLevel::info, LogCategory::capture, "self_timer.cancelled remaining=" + std::to_string(remaining_));
    finish(false);
}

void SelfTimerHud::tick() {
    if (--remaining_ > 0) {
        update();
        return;
    }
    finish(true);
}

void SelfTimerHud::finish(bool completed) {
    timer_.stop();
    hide();
    notifier_.reset();
    watcher_.reset();
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done(completed);
}

void SelfTimerHud::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(20, 20, 24));
    QFont number = font();
    number.setPixelSize(64);
    number.setWeight(QFont::DemiBold);
    painter.setFont(number);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 8, width(), height() - 40), Qt::AlignCenter, QString::number(remaining_));
    QFont hint = font();
    hint.setPixelSize(12);
    painter.setFont(hint);
    painter.setPen(QColor(255, 255, 255, 170));
    painter.drawText(QRectF(0, height() - 38, width(), 24), Qt::AlignCenter,
                     QString::fromStdString(localized("Esc to cancel")));
}

}  // namespace tessarin
