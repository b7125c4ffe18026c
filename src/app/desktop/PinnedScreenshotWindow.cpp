#include "app/desktop/PinnedScreenshotWindow.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "app/desktop/OwnWindows.h"
#include "app/desktop/TrayIcon.h"
#include "core/pins/PinPlacement.h"
#include "platform/x11/X11FloatingWindowHints.h"

namespace tessarin {
namespace {

// Images of at most this many pixels (a pin's preview) are scaled on the main thread.
constexpr uint64_t kScaledHere = uint64_t{1280} * 800;

Qt::Edges qtEdges(unsigned edges) {
    Qt::Edges result;
    if (edges & PinWindowChrome::left) result |= Qt::LeftEdge;
    if (edges & PinWindowChrome::right) result |= Qt::RightEdge;
    if (edges & PinWindowChrome::top) result |= Qt::TopEdge;
    if (edges & PinWindowChrome::bottom) result |= Qt::BottomEdge;
    return result;
}

Qt::CursorShape cursorFor(const PinWindowChrome::Hit& hit) {
    using namespace PinWindowChrome;
    if (hit.button) return Qt::PointingHandCursor;
    const unsigned e = hit.edges;
    if ((e & left && e & top) || (e & right && e & bottom)) return Qt::SizeFDiagCursor;
    if ((e & right && e & top) || (e & left && e & bottom)) return Qt::SizeBDiagCursor;
    if (e & (left | right)) return Qt::SizeHorCursor;
    if (e & (top | bottom)) return Qt::SizeVerCursor;
    return Qt::OpenHandCursor;
}

// The glyph of an icon button, drawn with lines so no theme is needed.
void paintGlyph(QPainter& painter, PinWindowChrome::Button button, const QRectF& frame) {
    const QRectF inner = frame.adjusted(7, 7, -7, -7);
    if (button == PinWindowChrome::Button::close) {
        painter.drawLine(inner.topLeft(), inner.bottomRight());
        painter.drawLine(inner.topRight(), inner.bottomLeft());
        return;
    }
    // Copy: two overlapping sheets.
    painter.drawRect(inner.adjusted(0, 0, -3, -3));
    painter.drawRect(inner.adjusted(3, 3, 0, 0));
}

}  // namespace

PinnedScreenshotWindow::PinnedScreenshotWindow(const std::string& id, SharedImage image, bool complete, QSize minimum,
                                               x11::X11FloatingWindowHints* hints, Events events)
    : DirectPaintWindow(nullptr, /*opaque=*/true),
      image_(std::move(image)),
      complete_(complete),
      minimum_(minimum),
      hints_(hints),
      events_(std::move(events)) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setTitle(QStringLiteral("Tessarin Pin ") + QString::fromStdString(id));
    setObjectName(QStringLiteral("pin-") + QString::fromStdString(id));
    // A pin belongs to the desktop being captured.
    markStaysOnScreen(*this, true);
    // Shown without taking the focus from the window the user works in.
    setProperty("_q_showWithoutActivating", true);
    setMinimumSize(minimum_);
    winId();  // the native window, so the hints go on before it is mapped
    if (hints_) hints_->markFloating(static_cast<uint32_t>(winId()));
}

PinnedScreenshotWindow::~PinnedScreenshotWindow() = default;

void PinnedScreenshotWindow::dismiss() {
    dismissed_ = true;
    close();
}

void PinnedScreenshotWindow::applyHints() {
    if (!hints_ || !handle()) return;
    const double ratio = devicePixelRatio();
    hints_->keepAspect(static_cast<uint32_t>(winId()), {double(image_->width()), double(image_->height())},
                       {minimum_.width() * ratio, minimum_.height() * ratio});
}

void PinnedScreenshotWindow::setImage(SharedImage image) {
    image_ = std::move(image);
    complete_ = true;
    scaling_ = QSize();  // what is on its way was made from the old image
    refreshScaled();
}

void PinnedScreenshotWindow::refreshScaled() {
    const QSize target = size() * devicePixelRatio();
    if (target.isEmpty()) return;
    if ((scaled_.size() == target && scaledFrom_ == image_.get()) || scaling_ == target) return;
    scaling_ = target;
    // A preview-sized image is scaled at once (a few milliseconds) for the
    // first picture, so a pin never shows blank while full images are
    // decoded in the background. Later sizes (the window manager's
    // adjustment, a resize) go to the background like the rest, the last
    // picture stretched meanwhile.
    if (scaled_.isNull() && uint64_t{image_->width()} * image_->height() <= kScaledHere) {
        const QImage view(image_->data(), static_cast<int>(image_->width()), static_cast<int>(image_->height()),
                          static_cast<qsizetype>(image_->stride()), QImage::Format_RGBA8888);
        takeScaled(target, image_.get(),
                   view.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied));
        return;
    }
    // Anything larger is scaled once per size, off the main thread: a 4K
    // image scaled on it would hold up every other window for a tenth of a
    // second.
    QPointer<PinnedScreenshotWindow> self(this);
    const Image* from = image_.get();
    events_.scale(image_, target, [self, target, from](QImage scaled) {
        if (self) self->takeScaled(target, from, std::move(scaled));
    });
}

void PinnedScreenshotWindow::takeScaled(QSize target, const Image* from, QImage scaled) {
    // A newer size, or the full image after a preview, is on its way.
    if (scaling_ != target || from != image_.get()) return;
    scaling_ = QSize();
    scaled_ = std::move(scaled);
    scaledFrom_ = from;
    scheduleFullRepaint();
}

void PinnedScreenshotWindow::paintArea(QPainter& painter, const QRect&) {
    if (scaled_.isNull()) {
        painter.fillRect(rect(), QColor(0x30, 0x30, 0x30));
    } else {
        // The last scaled image stands in (stretched) while the next is made.
        painter.drawImage(QRectF(rect()), scaled_);
    }
    // A hairline edge, so a pin stands apart from a desktop like its image.
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hovering_) paintButtons(painter);
}

void PinnedScreenshotWindow::paintButtons(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& button : PinWindowChrome::buttons(sizeInPoints())) {
        const QRectF frame(button.frame.x, button.frame.y, button.frame.width, button.frame.height);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 160));
        painter.drawRoundedRect(frame, 6, 6);
        // Copy and save wait for the full image.
        const bool available = complete_ || button.button == PinWindowChrome::Button::close;
        painter.setPen(QPen(available ? QColor(Qt::white) : QColor(255, 255, 255, 90), 1.6));
        painter.setBrush(Qt::NoBrush);
        if (button.title.empty()) paintGlyph(painter, button.button, frame);
        else painter.drawText(frame, Qt::AlignCenter, QString::fromStdString(button.title));
    }
}

void PinnedScreenshotWindow::resizeEvent(QResizeEvent*) {
    // Our own enforcement of the aspect ratio, for window managers that
    // ignore the hints (and a size the toolkit itself proposed).
    if (!correcting_) {
        const Size image{double(image_->width()), double(image_->height())};
        const Size wanted = PinPlacement::constrainedResize(
            sizeInPoints(), sizeInPoints(), image, {double(minimum_.width()), double(minimum_.height())},
            {1e6, 1e6});
        const QSize corrected(qRound(wanted.width), qRound(wanted.height));
        if (std::abs(corrected.width() - width()) > 1 || std::abs(corrected.height() - height()) > 1) {
            correcting_ = true;
            resize(corrected);
            correcting_ = false;
            return;
        }
    }
    scheduleHints();
    refreshScaled();
    scheduleFullRepaint();
    if (events_.changed && isVisible()) events_.changed(geometry());
}

void PinnedScreenshotWindow::showEvent(QShowEvent*) {
    scheduleHints();
    refreshScaled();
}

// Qt writes WM_NORMAL_HINTS itself when it shows or resizes the window,
// from its own connection: ours go on after it has done so.
void PinnedScreenshotWindow::scheduleHints() {
    if (hintsPending_) return;
    hintsPending_ = true;
    QTimer::singleShot(0, this, [this] {
        hintsPending_ = false;
        applyHints();
    });
}

void PinnedScreenshotWindow::moveEvent(QMoveEvent*) {
    if (events_.changed && isVisible()) events_.changed(geometry());
}

void PinnedScreenshotWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (dismissed_) return;
    dismissed_ = true;
    if (events_.closed) events_.closed(geometry());
}

void PinnedScreenshotWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPointF at = event->position();
    const auto hit = PinWindowChrome::hitTest(sizeInPoints(), {at.x(), at.y()}, hovering_);
    if (hit.button) {
        switch (*hit.button) {
            case PinWindowChrome::Button::copy:
                if (events_.copy && complete_) events_.copy(image_);
                return;
            case PinWindowChrome::Button::save:
                if (events_.save && complete_) events_.save(image_);
                return;
            case PinWindowChrome::Button::close: close(); return;
        }
    }
    if (hit.edges != PinWindowChrome::none) startSystemResize(qtEdges(hit.edges));
    else startSystemMove();
}

void PinnedScreenshotWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    setCursor(cursorFor(PinWindowChrome::hitTest(sizeInPoints(), {at.x(), at.y()}, hovering_)));
}

void PinnedScreenshotWindow::hoverChanged(bool hovering) {
    if (hovering_ == hovering) return;
    hovering_ = hovering;
    // Only the buttons change.
    for (const auto& button : PinWindowChrome::buttons(sizeInPoints())) {
        scheduleRepaint(QRectF(button.frame.x, button.frame.y, button.frame.width, button.frame.height)
                            .toAlignedRect()
                            .adjusted(-2, -2, 2, 2));
    }
}

}  // namespace tessarin
