#include "app/desktop/QuickAccessWindow.h"

#include <QDrag>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStyleHints>
#include <QCursor>
#include <QTimer>
#include <QUrl>

#include "app/desktop/OwnWindows.h"
#include "app/desktop/QtWindowing.h"
#include "core/common/Log.h"
#include "core/quickaccess/QuickAccessLayout.h"
#include "platform/x11/FloatingWindowHints.h"

namespace tessarin {
namespace {

constexpr int fadeMilliseconds = 250;

// The preview, scaled once from the capture's pixels without copying them
// first: the window keeps only the small image.
QImage previewOf(const Image& image, QSize bounds) {
    const QImage view(image.data(), static_cast<int>(image.width()), static_cast<int>(image.height()),
                      static_cast<qsizetype>(image.stride()), QImage::Format_RGBA8888);
    // Smooth scaling reads every source pixel: a 4K capture would cost tens
    // of milliseconds. Sampled down to twice the preview first, then
    // smoothed, it costs a few and looks the same at this size.
    const QSize twice = view.size().scaled(bounds * 2, Qt::KeepAspectRatio);
    if (view.width() > twice.width() * 2) {
        return view.scaled(twice, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return view.scaled(bounds, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QString mimeTypeOf(ImageFormat format) {
    return format.kind == ImageFormat::Kind::jpeg ? QStringLiteral("image/jpeg") : QStringLiteral("image/png");
}

// What a drag carries: the file (text/uri-list) and the image's encoded
// data, both from the one drag file the thumbnail writes in the background
// as the drag starts. A drop target that asks before the file is written
// waits for it, with events still flowing.
class DragFileMimeData final : public QMimeData {
public:
    explicit DragFileMimeData(std::shared_ptr<ThumbnailDragFile> file)
        : file_(std::move(file)), state_(std::make_shared<State>()) {
        file_->request([state = state_](PathResult result) {
            state->result = std::move(result);
            if (state->waiting) state->waiting->quit();
        });
    }
    ~DragFileMimeData() override {
        if (state_->waiting) state_->waiting->quit();
    }

    QStringList formats() const override {
        return {QStringLiteral("text/uri-list"), mimeTypeOf(file_->format())};
    }
    bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        const auto* path = waitForFile();
        if (!path) return {};
        const QString file = QString::fromStdString(path->string());
        if (mimeType == QStringLiteral("text/uri-list")) {
            const QUrl url = QUrl::fromLocalFile(file);
            if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
                return url.toEncoded() + "\r\n";
            }
            return QVariantList{url};
        }
        if (mimeType == mimeTypeOf(file_->format())) {
            QFile read(file);
            if (!read.open(QIODevice::ReadOnly)) return {};
            return read.readAll();
        }
        return {};
    }

private:
    struct State {
        std::optional<PathResult> result;
        QEventLoop* waiting = nullptr;
    };

    const std::filesystem::path* waitForFile() const {
        if (!state_->result) {
            QEventLoop loop;
            state_->waiting = &loop;
            loop.exec();
            state_->waiting = nullptr;
        }
        if (!state_->result || !*state_->result) return nullptr;
        return &**state_->result;
    }

    std::shared_ptr<ThumbnailDragFile> file_;
    std::shared_ptr<State> state_;
};

}  // namespace

QuickAccessWindow::QuickAccessWindow(const ThumbnailContent& content, ThumbnailPresenter& presenter,
                                     QElapsedTimer shownSince)
    : QuickAccessWindow(presenter) {
    setContent(content, shownSince);
}

QuickAccessWindow::QuickAccessWindow(ThumbnailPresenter& presenter)
    : DirectPaintWindow(nullptr, /*opaque=*/true), id_(), presenter_(presenter) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
             Qt::X11BypassWindowManagerHint);
    setTitle(QStringLiteral("Tessarin Quick Access"));
    const Size size = QuickAccessLayout::thumbnailSize;
    const QSize fixed(static_cast<int>(size.width), static_cast<int>(size.height));
    setMinimumSize(fixed);
    setMaximumSize(fixed);
    resize(fixed);
}

void QuickAccessWindow::setSpare(bool spare) {
    spare_ = spare;
    markStaysOnScreen(*this, spare);
}

void QuickAccessWindow::prepareOffScreen() {
    setSpare(true);
    setTitle(QStringLiteral("Tessarin Spare Thumbnail"));
    // A Wayland compositor places windows itself: one "off screen" would
    // stand in the middle of it. There the spare waits unmapped.
    if (compositorPlacesWindows()) return;
    setPosition(-10000, -10000);
    show();
}

void QuickAccessWindow::parkOffScreen() {
    fading_ = false;
    placed_ = false;
    hovered_ = false;
    pressedAt_.reset();
    image_ = QImage();
    controls_.clear();
    durationText_.clear();
    recording_ = false;
    dragFile_.reset();
    setOpacity(1.0);
    setSpare(true);
    setTitle(QStringLiteral("Tessarin Spare Thumbnail"));
    if (compositorPlacesWindows()) {
        hide();
        return;
    }
    setPosition(-10000, -10000);
    if (!isVisible()) show();
}

void QuickAccessWindow::setContent(const ThumbnailContent& content, QElapsedTimer shownSince) {
    if (isSpare()) setSpare(false);
    recording_ = content.video.has_value();
    durationText_ = recording_ ? QString::fromStdString(content.video->durationText) : QString();
    setTitle(recording_ ? QString::fromStdString(content.video->file.filename().string())
                        : QStringLiteral("Tessarin Quick Access"));
    painted_ = false;
    id_ = content.id;
    dragFile_ = content.dragFile;
    controls_ = ThumbnailControls::layout(content.actions);
    shownSince_ = shownSince;
    image_ = content.image ? previewOf(*content.image, QSize(width() - 8, height() - 8)) : QImage();
    scheduleFullRepaint();
}

// Before each map: the window manager drops the hints when a capture
// withdraws the window.
void QuickAccessWindow::setDesktopHints() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return;
    x11::setFloatingPanelHints(x11->connection(), static_cast<uint32_t>(winId()));
}

void QuickAccessWindow::showEvent(QShowEvent*) { setDesktopHints(); }

void QuickAccessWindow::hoverChanged(bool hovered) {
    if (hovered_ == hovered) return;
    hovered_ = hovered;
    scheduleFullRepaint();
}

void QuickAccessWindow::place(QPoint origin) {
    setPosition(origin);
    placed_ = true;
    if (isVisible() || fading_ || showPending_) return;
    // The native window now, the map on the next turn of the loop: two
    // short steps instead of one long one in the capture's completion.
    winId();
    showPending_ = true;
    QTimer::singleShot(0, this, [this] {
        showPending_ = false;
        if (isVisible() || fading_) return;
        show();
        raise();
    });
}

void QuickAccessWindow::orderFront() {
    if (showPending_) return;  // raised as it is mapped
    if (!isVisible()) show();
    raise();
}

void QuickAccessWindow::reappear() {
    if (fading_ || !placed_) return;
    // Qt still counts the withdrawn window as shown: mapped again directly,
    // which costs no round trip (hide() and show() would cost several).
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>(); x11 && isVisible()) {
        x11::remapAbove(x11->connection(), static_cast<uint32_t>(winId()));
        return;
    }
    hide();
    show();
    raise();
}

void QuickAccessWindow::fadeOutAndDelete(bool compositing) {
    if (fading_) return;
    fading_ = true;
    if (!compositing || !isVisible() || dragging_) {
        // A drag from this window is still running its own loop, which
        // would delete the window under it: retired once the drag returns.
        if (dragging_) {
            hide();
            return;
        }
        retire();
        return;
    }
    auto* fade = new QPropertyAnimation(this, "opacity", this);
    fade->setDuration(fadeMilliseconds);
    fade->setStartValue(opacity());
    fade->setEndValue(0.0);
    connect(fade, &QPropertyAnimation::finished, this, [this, fade] {
        fade->deleteLater();
        retire();
    });
    fade->start();
}

void QuickAccessWindow::retire() {
    if (retire_) {
        // Whoever keeps spares takes it, or deletes it.
        retire_(this);
        return;
    }
    hide();
    deleteLater();
}

void QuickAccessWindow::paintArea(QPainter& painter, const QRect&) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(38, 40, 46));
    const QPoint at((width() - image_.width()) / 2, (height() - image_.height()) / 2);
    painter.drawImage(at, image_);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (recording_) paintDuration(painter);
    if (hovered_ || recording_) {
        if (hovered_) painter.fillRect(rect(), QColor(0, 0, 0, 110));
        paintControls(painter);
    }
    if (!painted_ && !isSpare()) {
        painted_ = true;
        const double milliseconds = static_cast<double>(shownSince_.nsecsElapsed()) / 1e6;
        logLine(LogLevel::info, LogCategory::capture,
                "quick_access.shown id=" + std::to_string(id_) + " duration_ms=" + std::to_string(milliseconds));
    }
}

void QuickAccessWindow::paintControls(QPainter& painter) const {
    for (const ThumbnailControl& control : controls_) {
        const QRectF frame(control.frame.x, control.frame.y, control.frame.width, control.frame.height);
        painter.setPen(Qt::NoPen);
        if (control.action == ThumbnailAction::edit) {
            // The play mark: a dark disc with a white triangle.
            painter.setBrush(QColor(0, 0, 0, 150));
            painter.drawEllipse(frame.center(), 22, 22);
            painter.setBrush(Qt::white);
            const QPointF c = frame.center();
            const QPointF triangle[3] = {c + QPointF(-7, -11), c + QPointF(-7, 11), c + QPointF(12, 0)};
            painter.drawPolygon(triangle, 3);
            continue;
        }
        painter.setBrush(QColor(250, 250, 250, 230));
        if (control.action == ThumbnailAction::close && control.label.empty()) {
            painter.drawEllipse(frame);
            painter.setPen(QPen(QColor(30, 30, 30), 2));
            const QRectF cross = frame.adjusted(7, 7, -7, -7);
            painter.drawLine(cross.topLeft(), cross.bottomRight());
            painter.drawLine(cross.topRight(), cross.bottomLeft());
            continue;
        }
        painter.drawRoundedRect(frame, 6, 6);
        painter.setPen(QColor(30, 30, 30));
        painter.drawText(frame, Qt::AlignCenter, QString::fromStdString(control.label));
    }
}

// In the top-right corner, clear of the play mark and the buttons.
void QuickAccessWindow::paintDuration(QPainter& painter) const {
    const QRect badge(width() - 64, 8, 56, 18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(badge, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, durationText_);
}

void QuickAccessWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressedAt_ = event->position().toPoint();
}

void QuickAccessWindow::mouseMoveEvent(QMouseEvent* event) {
    hoverChanged(true);
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - *pressedAt_).manhattanLength() < QGuiApplication::styleHints()->startDragDistance()) {
        return;
    }
    pressedAt_.reset();
    startDrag();
}

void QuickAccessWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressedAt_ || event->button() != Qt::LeftButton) return;
    const QPointF p = event->position();
    pressedAt_.reset();
    const auto action = ThumbnailControls::actionAt(controls_, Point{p.x(), p.y()});
    // The presenter may dismiss (and so delete) this window: nothing after.
    if (action) presenter_.perform(id_, *action);
}

void QuickAccessWindow::startDrag() {
    if (!dragFile_) return;
    logLine(LogLevel::info, LogCategory::capture, "quick_access.drag_start id=" + std::to_string(id_));
    auto* drag = new QDrag(this);
    drag->setMimeData(new DragFileMimeData(dragFile_));
    drag->setPixmap(QPixmap::fromImage(image_.scaled(image_.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    dragging_ = true;
    const Qt::DropAction result = drag->exec(Qt::CopyAction);
    dragging_ = false;
    logLine(LogLevel::info, LogCategory::capture,
            "quick_access.drag_end id=" + std::to_string(id_) + " dropped=" + (result == Qt::IgnoreAction ? "false" : "true"));
    if (fading_) {
        retire();
        return;
    }
    hoverChanged(rect().contains(mapFromGlobal(QCursor::pos())));
}

QuickAccessWindowHandle::~QuickAccessWindowHandle() {
    if (!fading_) delete window_;
}

std::optional<Rect> QuickAccessWindowHandle::currentVisibleFrame() const {
    if (fading_ || !window_->placed()) return std::nullopt;
    QScreen* screen = QGuiApplication::screenAt(window_->geometry().center());
    if (!screen) return std::nullopt;
    const QRect frame = screen->availableGeometry();
    return Rect{double(frame.x()), double(frame.y()), double(frame.width()), double(frame.height())};
}

void QuickAccessWindowHandle::moveTo(Point origin) {
    if (!fading_) window_->place(QPoint(static_cast<int>(std::lround(origin.x)), static_cast<int>(std::lround(origin.y))));
}

void QuickAccessWindowHandle::orderFront() {
    if (!fading_) window_->orderFront();
}

Rect QuickAccessWindowHandle::frame() const {
    if (fading_) return {};
    const QRect g = window_->geometry();
    return {double(g.x()), double(g.y()), double(g.width()), double(g.height())};
}

void QuickAccessWindowHandle::fadeOut() {
    if (fading_) return;
    fading_ = true;
    window_->fadeOutAndDelete(compositing_ && compositing_());
}

}  // namespace tessarin
