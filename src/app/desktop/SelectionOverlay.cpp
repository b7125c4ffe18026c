#include "app/desktop/SelectionOverlay.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include "app/desktop/DirectPaintWindow.h"
#include "app/desktop/OwnWindows.h"
#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtKeyboardGrab.h"
#include "app/desktop/QtWindowing.h"
#include "app/desktop/ToolbarGlyphs.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {


const QColor maskColour(0, 0, 0, 115);
const QColor accent(0x3b, 0x82, 0xf6);
const QColor badgeColour(20, 20, 24, 215);

Qt::CursorShape cursorShape(OverlayCursor cursor) {
    switch (cursor) {
        case OverlayCursor::crosshair: return Qt::CrossCursor;
        case OverlayCursor::arrow: return Qt::ArrowCursor;
        case OverlayCursor::openHand: return Qt::OpenHandCursor;
        case OverlayCursor::closedHand: return Qt::ClosedHandCursor;
        case OverlayCursor::resizeTopLeft:
        case OverlayCursor::resizeBottomRight: return Qt::SizeFDiagCursor;
        case OverlayCursor::resizeTopRight:
        case OverlayCursor::resizeBottomLeft: return Qt::SizeBDiagCursor;
        case OverlayCursor::resizeTop:
        case OverlayCursor::resizeBottom: return Qt::SizeVerCursor;
        case OverlayCursor::resizeLeft:
        case OverlayCursor::resizeRight: return Qt::SizeHorCursor;
    }
    return Qt::CrossCursor;
}

std::optional<OverlayKeyPress> keyPress(const QKeyEvent& event) {
    const bool shift = event.modifiers().testFlag(Qt::ShiftModifier);
    switch (event.key()) {
        case Qt::Key_Escape: return OverlayKeyPress{OverlayKeyPress::Key::escape, shift};
        case Qt::Key_R: return OverlayKeyPress{OverlayKeyPress::Key::r, shift};
        case Qt::Key_Return: return OverlayKeyPress{OverlayKeyPress::Key::returnKey, shift};
        case Qt::Key_Enter: return OverlayKeyPress{OverlayKeyPress::Key::keypadEnter, shift};
        default: return std::nullopt;
    }
}

// TESSARIN_TRACE_PAINT=1 logs each paint's duration and repainted area, for
// bench/flow; read once, so the cost when off is one test of a bool.
bool tracingPaints() {
    static const bool tracing = qEnvironmentVariableIntValue("TESSARIN_TRACE_PAINT") == 1;
    return tracing;
}

class PaintTrace {
public:
    explicit PaintTrace(const QRect& area) : area_(area) {
        if (tracingPaints()) timer_.start();
    }
    ~PaintTrace() {
        if (!timer_.isValid()) return;
        const double ms = static_cast<double>(timer_.nsecsElapsed()) / 1e6;
        const long long area = static_cast<long long>(area_.width()) * area_.height();
        logLine(LogLevel::info, LogCategory::capture,
                "overlay.paint ms=" + std::to_string(ms) + " area=" + std::to_string(area));
    }

private:
    QRect area_;
    QElapsedTimer timer_;
};

QFont badgeFont() {
    QFont font = QGuiApplication::font();
    font.setPointSizeF(std::max(9.0, font.pointSizeF()));
    font.setWeight(QFont::Medium);
    return font;
}

}  // namespace

// One display's window. Converts between Qt's logical pixels (top-left, y
// down) and the session's view points (bottom-left, y up) through device
// pixels, so a desktop scale different from Qt's own still lines up.
class OverlayWindow final : public DirectPaintWindow {
public:
    OverlayWindow(SelectionOverlay& owner, size_t index, const DisplayDescription& display, QScreen* screen,
                  const FrozenScreenFrame* frozen)
        : DirectPaintWindow(screen, frozen != nullptr), owner_(owner), index_(index), heightPoints_(display.frame.height) {
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                 Qt::NoDropShadowWindowHint);
        setTitle(QStringLiteral("Tessarin Selection"));
        // The capture flow takes the overlay down itself, when it is done.
        markStaysOnScreen(*this, true);
        // The overlay holds the frozen screens for as long as its windows.
        if (frozen) backdrop_ = backdropOf(*frozen);
        pointsPerPixel_ = pointsPerLogicalPixel(display, screen);
        setCursor(Qt::CrossCursor);
    }

    QPointF toPixels(Point p) const { return {p.x / pointsPerPixel_, (heightPoints_ - p.y) / pointsPerPixel_}; }
    QRectF toPixels(const Rect& r) const {
        return QRectF(r.minX() / pointsPerPixel_, (heightPoints_ - r.maxY()) / pointsPerPixel_,
                      r.width / pointsPerPixel_, r.height / pointsPerPixel_);
    }
    Point toPoints(const QPointF& p) const { return {p.x() * pointsPerPixel_, heightPoints_ - p.y() * pointsPerPixel_}; }

    void repaint(const std::vector<Rect>& rects) {
        for (const Rect& r : rects) scheduleRepaint(toPixels(r).toAlignedRect().adjusted(-2, -2, 2, 2));
    }

protected:
    void paintArea(QPainter& painter, const QRect& area) override {
        const PaintTrace trace(area);
        if (!backdrop_.isNull()) {
            drawBackdrop(painter, area, backdrop_, size());
        } else {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
        }
        const OverlayDrawing drawing = owner_.session().view(index_).drawing();
        for (const Rect& r : drawing.mask) painter.fillRect(toPixels(r), maskColour);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (drawing.selection && !drawing.selection->isEmpty()) {
            if (backdrop_.isNull()) painter.fillRect(toPixels(*drawing.selection), QColor(0, 0, 0, 1));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(0, 0, 0, 90), 3));
            painter.drawRect(toPixels(*drawing.selection));
            painter.setPen(QPen(Qt::white, 1.5));
            painter.drawRect(toPixels(*drawing.selection));
            for (const Rect& knob : drawing.knobs) {
                QPainterPath path;
                const QRectF k = toPixels(knob);
                path.addRoundedRect(k, std::min(k.width(), k.height()) / 2, std::min(k.width(), k.height()) / 2);
                painter.fillPath(path, Qt::white);
                painter.setPen(QPen(accent, 1.5));
                painter.drawPath(path);
            }
        }
        if (drawing.sizeBadge) paintBadge(painter, *drawing.sizeBadge);
        if (drawing.hintBadge) paintBadge(painter, *drawing.hintBadge);
        if (drawing.toolbar) paintToolbar(painter, *drawing.toolbar);
    }

    void firstPaintFinished() override { owner_.windowPainted(); }

    bool event(QEvent* event) override {
        if (event->type() == QEvent::Leave) owner_.apply(index_, owner_.session().mouseExited(index_));
        return DirectPaintWindow::event(event);
    }

    void mousePressEvent(QMouseEvent* event) override {
        const Point p = toPoints(event->position());
        if (event->button() == Qt::RightButton) {
            showPresetMenu(p, event->globalPosition().toPoint());
            return;
        }
        if (event->button() != Qt::LeftButton) return;
        owner_.apply(index_, owner_.session().mouseDown(index_, p));
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const Point p = toPoints(event->position());
        const bool dragging = event->buttons().testFlag(Qt::LeftButton);
        owner_.apply(index_, dragging ? owner_.session().mouseDragged(index_, p) : owner_.session().mouseMoved(index_, p));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        owner_.apply(index_, owner_.session().mouseUp(index_, toPoints(event->position())));
        if (!owner_.session().hasEnded()) logToolbar();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const auto press = keyPress(*event);
        if (!press) return;
        owner_.apply(owner_.session().keyDisplay(), owner_.session().keyDown(*press));
    }

private:
    // Where the toolbar's buttons settled, in screen pixels, for whoever
    // drives the overlay from outside (the tests): "overlay.toolbar
    // capture=530,534 copy=…".
    void logToolbar() {
        const auto toolbar = owner_.session().view(index_).drawing().toolbar;
        if (!toolbar) return;
        std::string line = "overlay.toolbar";
        for (const auto& item : toolbar->items) {
            if (!item.action) continue;
            const QPoint centre = mapToGlobal(toPixels(item.frame).center().toPoint());
            line += " " + std::string(rawValue(*item.action)) + "=" + std::to_string(centre.x()) + "," +
                    std::to_string(centre.y());
        }
        logLine(LogLevel::info, LogCategory::capture, line);
    }

    void paintBadge(QPainter& painter, const OverlayBadge& badge) {
        const QRectF frame = toPixels(badge.frame);
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, badgeColour);
        painter.setFont(badgeFont());
        painter.setPen(Qt::white);
        painter.drawText(frame, Qt::AlignCenter, QString::fromStdString(badge.text));
    }

    void paintToolbar(QPainter& painter, const OverlayToolbarLayout& toolbar) {
        const QRectF frame = toPixels(toolbar.frame);
        QPainterPath panel;
        panel.addRoundedRect(frame, 10, 10);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(panel, badgeColour);
        painter.setFont(badgeFont());
        for (const auto& item : toolbar.items) {
            const QRectF r = toPixels(item.frame);
            if (item.pressed || item.checked) {
                QPainterPath highlight;
                highlight.addRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
                painter.fillPath(highlight, item.pressed ? accent.darker(130) : accent);
            }
            QRectF textArea = r;
            if (!item.symbolName.empty()) {
                const qreal side = std::min<qreal>(20, r.height() - 10);
                const QRectF glyph = item.showsTitle ? QRectF(r.left() + 10, r.center().y() - side / 2, side, side)
                                                     : QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
                if (paintToolbarGlyph(painter, glyph, item.symbolName, Qt::white)) {
                    if (!item.showsTitle) continue;
                    textArea.setLeft(glyph.right() + 6);
                }
            }
            painter.setPen(Qt::white);
            painter.drawText(textArea, Qt::AlignCenter, QString::fromStdString(item.title));
        }
    }

    void showPresetMenu(Point p, QPoint globalPosition) {
        const auto items = owner_.session().rightMouseDown(index_, p);
        if (!items) return;
        QMenu menu;
        for (size_t i = 0; i < items->size(); ++i) {
            QAction* action = menu.addAction(QString::fromStdString((*items)[i].title));
            action->setCheckable(true);
            action->setChecked((*items)[i].checked);
            action->setData(static_cast<qulonglong>(i));
        }
        if (QAction* chosen = menu.exec(globalPosition)) {
            owner_.apply(index_, owner_.session().choosePreset(index_, chosen->data().toULongLong()));
        }
    }

    SelectionOverlay& owner_;
    size_t index_;
    double heightPoints_;
    double pointsPerPixel_ = 1;
    QImage backdrop_;
};

SelectionOverlay::SelectionOverlay(std::vector<DisplayDescription> displays, const CaptureSelectionRequest& request,
                                   size_t startingDisplay, std::shared_ptr<const FrozenScreens> frozen,
                                   OverlayEnvironment environment, Done done)
    : session_(displays, request, startingDisplay, [&] {
          if (!environment.measureText) {
              // Badge texts measured in points with the font the badges use.
              environment.measureText = [](std::string_view text) {
                  return QFontMetricsF(badgeFont()).horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
              };
          }
          return environment;
      }()),
      displays_(std::move(displays)), frozen_(std::move(frozen)), done_(std::move(done)) {
    for (size_t i = 0; i < displays_.size(); ++i) {
        const FrozenScreenFrame* still =
            frozen_ && displays_[i].displayID ? frozen_->frame(*displays_[i].displayID) : nullptr;
        windows_.push_back(std::make_unique<OverlayWindow>(*this, i, displays_[i], screenFor(displays_[i]), still));
    }
    connect(qApp, &QGuiApplication::screenAdded, this, [this] { displaysChanged(); });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { displaysChanged(); });
    for (QScreen* screen : QGuiApplication::screens()) {
        connect(screen, &QScreen::geometryChanged, this, [this] { displaysChanged(); });
    }
}

void SelectionOverlay::prepare() {
    DirectPaintWindow::prepare();
    // The first overlay would otherwise pay for the badge font's glyphs and
    // the frozen pixels' conversion while it opens.
    QImage scratch(256, 24, QImage::Format_RGB32);
    QImage frozen(8, 8, QImage::Format_RGBX8888);
    frozen.fill(Qt::black);
    QPainter painter(&scratch);
    painter.drawImage(QRectF(0, 0, 8, 8), frozen, QRectF(0, 0, 8, 8));
    painter.fillRect(QRectF(0, 0, 8, 8), maskColour);
    painter.setFont(badgeFont());
    painter.drawText(QRectF(scratch.rect()), Qt::AlignCenter,
                     QStringLiteral("Drag to capture an area. Press R to change preset. Free 0123456789 \u00d7"));
}

SelectionOverlay::~SelectionOverlay() {
    windows_.clear();
    // Between overlays the band buffers are only memory.
    DirectPaintWindow::releaseBandBuffers();
}

void SelectionOverlay::show() {
    for (size_t i = 0; i < windows_.size(); ++i) showCovering(*windows_[i], screenFor(displays_[i]));
    const size_t keys = session_.keyDisplay();
    if (keys < windows_.size()) grabKeyboardWithRetry(*windows_[keys], [this] { keyboardUnavailable(); });
}

void SelectionOverlay::cancel() {
    if (session_.hasEnded()) return;
    session_.cancel();
    finish();
}

std::vector<uint32_t> SelectionOverlay::windowIds() const {
    std::vector<uint32_t> ids;
    for (const auto& window : windows_) ids.push_back(static_cast<uint32_t>(window->winId()));
    return ids;
}

void SelectionOverlay::apply(size_t display, const OverlaySessionResponse& response) {
    for (const auto& repaint : response.repaints) {
        if (repaint.display < windows_.size()) windows_[repaint.display]->repaint(repaint.rects);
    }
    if (display < windows_.size()) windows_[display]->setCursor(cursorShape(response.cursor));
    if (response.ended) finish();
}

void SelectionOverlay::windowPainted() {
    // Every display shows the overlay from now on: what a person waits for.
    if (++paintedWindows_ != windows_.size()) return;
    logLine(LogLevel::info, LogCategory::capture,
            "overlay.shown displays=" + std::to_string(windows_.size()) + " frozen=" + (frozen_ ? "true" : "false"));
}

void SelectionOverlay::keyboardUnavailable() {
    logLine(LogLevel::error, LogCategory::capture,
            "overlay.keyboard another program holds the keyboard; selection cancelled");
    cancel();
}

void SelectionOverlay::displaysChanged() {
    // The windows cover the displays as they were; what the user sees no
    // longer matches them.
    logLine(LogLevel::info, LogCategory::capture, "overlay.displays_changed selection cancelled");
    cancel();
}

void SelectionOverlay::finish() {
    if (finishing_) return;
    finishing_ = true;
    for (auto& window : windows_) {
        releaseKeyboard(*window);
        window->hide();
    }
    // Out of the event handler that ended it: `done` may destroy us.
    QTimer::singleShot(0, this, [this] {
        auto done = std::move(done_);
        done_ = nullptr;
        if (done) done(session_.outcome());
    });
}

}  // namespace tessarin
