#include "app/desktop/QtDisplayMapping.h"

#include <QGuiApplication>
#include <QScreen>

namespace tessarin {

QScreen* screenFor(const DisplayDescription& display) {
    const auto screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (screen->name().toStdString() == display.name) return screen;
    }
    for (QScreen* screen : screens) {
        const QSizeF pixels = QSizeF(screen->geometry().size()) * screen->devicePixelRatio();
        if (qRound(pixels.width()) == display.pixelWidth && qRound(pixels.height()) == display.pixelHeight) {
            return screen;
        }
    }
    return nullptr;
}

double pointsPerLogicalPixel(const DisplayDescription& display, QScreen* screen) {
    const double dpr = screen ? screen->devicePixelRatio() : 1.0;
    return dpr / std::max(1.0, display.scale);
}

QRectF qtRectOf(const DisplayDescription& display, QScreen* screen, const Rect& global) {
    const double pixelsPerPoint = 1.0 / pointsPerLogicalPixel(display, screen);
    const QPointF origin = screen ? QPointF(screen->geometry().topLeft()) : QPointF();
    const double top = display.frame.y + display.frame.height;
    return QRectF(origin.x() + (global.minX() - display.frame.x) * pixelsPerPoint,
                  origin.y() + (top - global.maxY()) * pixelsPerPoint, global.width * pixelsPerPoint,
                  global.height * pixelsPerPoint);
}

}  // namespace tessarin
