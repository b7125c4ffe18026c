#include "app/desktop/SelectionRing.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include "app/desktop/QtDisplayMapping.h"
#include "app/desktop/QtWindowing.h"

namespace tessarin {

QRect qtRect(const Rect& rect) { return QRectF(rect.x, rect.y, rect.width, rect.height).toAlignedRect(); }

Qt::WindowFlags chromeWindowFlags() {
    return Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus |
           Qt::X11BypassWindowManagerHint;
}

Rect qtSelectionRect(const CaptureSelection& selection) {
    const QRectF area = qtRectOf(selection.screen, screenFor(selection.screen), selection.rect);
    return {area.x(), area.y(), area.width(), area.height()};
}

RecordingChromeLayout chromeLayoutFor(const CaptureSelection& selection, const RecordingConfiguration& configuration) {
    QScreen* home = screenFor(selection.screen);
    std::vector<Rect> displays;
    size_t homeIndex = 0;
    const auto screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QRect g = screens[i]->geometry();
        if (screens[i] == home) homeIndex = static_cast<size_t>(i);
        displays.push_back({double(g.x()), double(g.y()), double(g.width()), double(g.height())});
    }
    return layoutRecordingChrome(qtSelectionRect(selection), displays, homeIndex, configuration);
}

ChromePanel::ChromePanel(Qt::WindowFlags flags) : QWidget(nullptr, flags) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(32, 32, 36));
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
}

void ChromePanel::mousePressEvent(QMouseEvent* event) {
    // Only the compositor moves a window it places: it is asked to.
    if (compositorPlacesWindows() && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    grabbedAt_ = event->globalPosition().toPoint() - pos();
}

void ChromePanel::mouseMoveEvent(QMouseEvent* event) {
    if (!compositorPlacesWindows() && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - grabbedAt_);
    }
}

SelectionRing::SelectionRing(const RecordingChromeLayout& layout, const Rect& selection, double stroke, QColor line)
    : QWidget(nullptr, chromeWindowFlags()), selection_(qtRect(selection)), stroke_(stroke), line_(line) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setGeometry(qtRect(layout.frame));
    QRegion ring;
    for (const Rect& band : layout.ring) ring += qtRect(band).translated(-geometry().topLeft());
    setMask(ring);
}

void SelectionRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(20, 20, 24));
    const QRect inner = selection_.translated(-geometry().topLeft());
    const int width = std::max(1, static_cast<int>(stroke_));
    painter.fillRect(inner.adjusted(-width, -width, width, width), line_);
}

}  // namespace tessarin
