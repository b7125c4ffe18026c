#include "app/desktop/DirectPaintWindow.h"

#include <QBackingStore>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstdlib>

#include "app/desktop/TrayIcon.h"
#include "core/common/Log.h"
#include "platform/x11/X11WindowImageWriter.h"

namespace tessarin {
namespace {

// How long one slice of a repaint may keep the event loop, in milliseconds.
constexpr qint64 kSliceBudgetNs = 1'500'000;

// The writer all direct windows share: one connection of our own, opened
// on first use. Null where it cannot be had (not X11, no server).
x11::X11WindowImageWriter* sharedWriter() {
    static std::unique_ptr<x11::X11WindowImageWriter> writer = [] {
        std::unique_ptr<x11::X11WindowImageWriter> opened;
        if (QGuiApplication::platformName() != QLatin1String("xcb")) return opened;
        const char* display = std::getenv("DISPLAY");
        auto result = x11::X11WindowImageWriter::open(display ? display : "");
        if (!result) {
            logLine(LogLevel::info, LogCategory::app,
                    "overlay.direct_paint unavailable, painting through Qt: " + result.error());
            return opened;
        }
        opened = std::move(result.value());
        return opened;
    }();
    return writer.get();
}

}  // namespace

DirectPaintWindow::DirectPaintWindow(QScreen* screen, bool opaque) : opaque_(opaque) {
    // These windows show in no taskbar: the application's whole icon would
    // only slow down their creation.
    setIcon(smallWindowIcon());
    if (!opaque) {
        QSurfaceFormat format = this->format();
        format.setAlphaBufferSize(8);
        setFormat(format);
    }
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
}

DirectPaintWindow::~DirectPaintWindow() = default;

void DirectPaintWindow::prepare() { sharedWriter(); }

void DirectPaintWindow::releaseBandBuffers() {
    if (auto* writer = sharedWriter()) writer->releaseBuffers();
}

// A window that has painted what it had to keeps nothing of its own: the
// buffers go back once no window has painted for a while, so a thumbnail
// or a pin left on the screen, or an overlay the user only looks at, does
// not hold a megabyte for nothing. Painting again takes them anew (a
// fraction of a millisecond).
void DirectPaintWindow::releaseBuffersWhenIdle() {
    static QTimer* idle = [] {
        auto* timer = new QTimer(qApp);
        timer->setSingleShot(true);
        timer->setInterval(kIdleReleaseMs);
        QObject::connect(timer, &QTimer::timeout, [] { releaseBandBuffers(); });
        return timer;
    }();
    idle->start();
}

QRect DirectPaintWindow::logicalOf(const QRect& deviceRect) const {
    const qreal ratio = devicePixelRatio();
    const int left = static_cast<int>(std::floor(deviceRect.left() / ratio));
    const int top = static_cast<int>(std::floor(deviceRect.top() / ratio));
    const int right = static_cast<int>(std::ceil((deviceRect.right() + 1) / ratio));
    const int bottom = static_cast<int>(std::ceil((deviceRect.bottom() + 1) / ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void DirectPaintWindow::scheduleRepaint(const QRect& area) {
    const qreal ratio = devicePixelRatio();
    const QRect device(QPoint(static_cast<int>(std::floor(area.left() * ratio)),
                              static_cast<int>(std::floor(area.top() * ratio))),
                       QPoint(static_cast<int>(std::ceil((area.right() + 1) * ratio)) - 1,
                              static_cast<int>(std::ceil((area.bottom() + 1) * ratio)) - 1));
    const QRect whole(QPoint(0, 0), (QSizeF(size()) * ratio).toSize());
    const QRect clipped = device & whole;
    if (clipped.isEmpty()) return;
    pending_ += clipped;
    schedule();
}

void DirectPaintWindow::scheduleFullRepaint() { scheduleRepaint(QRect(QPoint(0, 0), size())); }

bool DirectPaintWindow::event(QEvent* event) {
    if (event->type() == QEvent::Enter) hoverChanged(true);
    if (event->type() == QEvent::Leave) hoverChanged(false);
    return QWindow::event(event);
}

void DirectPaintWindow::exposeEvent(QExposeEvent*) {
    if (!isExposed()) return;
    // While the first paint is under way the whole window is pending anyway.
    if (everExposed_ && !firstPaintDone_) return;
    everExposed_ = true;
    scheduleFullRepaint();
}

void DirectPaintWindow::schedule() {
    if (scheduled_ || !everExposed_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        paintSlice();
    });
}

void DirectPaintWindow::paintSlice() {
    if (pending_.isEmpty() || !isExposed()) return;
    x11::X11WindowImageWriter* writer = backingStore_ ? nullptr : sharedWriter();
    if (!writer) {
        paintThroughBackingStore(pending_);
        pending_ = QRegion();
    } else {
        QElapsedTimer slice;
        slice.start();
        while (!pending_.isEmpty() && slice.nsecsElapsed() < kSliceBudgetNs) {
            const QRect next = *pending_.begin();
            const int rows = static_cast<int>(std::min<int64_t>(writer->rowsPerBand(next.width()), next.height()));
            const QRect band(next.left(), next.top(), next.width(), rows);
            if (!paintBandDirectly(band)) {
                // Painting through Qt from now on; nothing is lost.
                paintThroughBackingStore(pending_);
                pending_ = QRegion();
                break;
            }
            pending_ -= band;
        }
        writer->flush();
    }
    if (!pending_.isEmpty()) {
        schedule();
        return;
    }
    releaseBuffersWhenIdle();
    if (!firstPaintDone_) {
        firstPaintDone_ = true;
        firstPaintFinished();
    }
}

bool DirectPaintWindow::paintBandDirectly(const QRect& deviceBand) {
    x11::X11WindowImageWriter* writer = sharedWriter();
    uint8_t* buffer = writer->nextBand(deviceBand.width());
    if (!buffer) return false;
    {
        QImage image(buffer, deviceBand.width(), deviceBand.height(), deviceBand.width() * 4,
                     opaque_ ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        const qreal ratio = devicePixelRatio();
        image.setDevicePixelRatio(ratio);
        QPainter painter(&image);
        if (!opaque_) {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(QRectF(0, 0, deviceBand.width() / ratio, deviceBand.height() / ratio), Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        painter.translate(-QPointF(deviceBand.topLeft()) / ratio);
        const QRect area = logicalOf(deviceBand);
        painter.setClipRect(area);
        paintArea(painter, area);
    }
    const auto failure = writer->put(static_cast<uint32_t>(winId()), deviceBand.x(), deviceBand.y(),
                                     deviceBand.width(), deviceBand.height());
    if (!failure) return true;
    logLine(LogLevel::error, LogCategory::app, "overlay.direct_paint failed, painting through Qt: " + *failure);
    return false;
}

void DirectPaintWindow::paintThroughBackingStore(const QRegion& deviceRegion) {
    if (!backingStore_) backingStore_ = std::make_unique<QBackingStore>(this);
    backingStore_->resize(size());
    QRegion logical;
    for (const QRect& r : deviceRegion) logical += logicalOf(r);
    backingStore_->beginPaint(logical);
    {
        QPainter painter(backingStore_->paintDevice());
        if (!opaque_) {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            for (const QRect& r : logical) painter.fillRect(r, Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        for (const QRect& r : logical) {
            painter.save();
            painter.setClipRect(r);
            paintArea(painter, r);
            painter.restore();
        }
    }
    backingStore_->endPaint();
    backingStore_->flush(logical);
}

}  // namespace tessarin
