#include "app/desktop/ToolbarGlyphs.h"

#include <QPainterPath>
#include <cmath>

namespace tessarin {
namespace {

// Glyphs are drawn in a 24 x 24 box scaled into the area.
struct Canvas {
    QPainter& painter;
    QColor ink;

    void stroke(const QPainterPath& path, qreal width = 1.8) {
        painter.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    void fill(const QPainterPath& path, const QColor& colour) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPath(path);
    }
};

QPainterPath rect(qreal x, qreal y, qreal w, qreal h, qreal radius = 2) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
    return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& p : points) {
        if (first) path.moveTo(p);
        else path.lineTo(p);
        first = false;
    }
    return path;
}

QPainterPath circle(qreal cx, qreal cy, qreal r) {
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

}  // namespace

bool paintToolbarGlyph(QPainter& painter, const QRectF& area, std::string_view name, const QColor& ink) {
    painter.save();
    const qreal side = std::min(area.width(), area.height());
    painter.translate(area.center().x() - side / 2, area.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    painter.setRenderHint(QPainter::Antialiasing);
    Canvas c{painter, ink};
    bool known = true;
    if (name == "camera-photo") {
        c.stroke(polyline({{3, 8}, {7, 8}, {9, 5}, {15, 5}, {17, 8}, {21, 8}, {21, 19}, {3, 19}, {3, 8}}));
        c.stroke(circle(12, 13, 3.5));
    } else if (name == "edit-copy") {
        c.stroke(rect(8, 8, 12, 12));
        c.stroke(polyline({{5, 16}, {4, 16}, {4, 4}, {16, 4}, {16, 5}}));
    } else if (name == "document-edit") {
        c.stroke(polyline({{5, 19}, {6, 15}, {16, 5}, {19, 8}, {9, 18}, {5, 19}}));
        c.stroke(polyline({{14, 7}, {17, 10}}));
    } else if (name == "format-text-bold") {
        c.stroke(polyline({{5, 6}, {19, 6}}), 2.4);
        c.stroke(polyline({{12, 6}, {12, 19}}), 2.4);
    } else if (name == "go-down") {
        c.stroke(polyline({{12, 4}, {12, 19}}));
        c.stroke(polyline({{6, 13}, {12, 19}, {18, 13}}));
    } else if (name == "chronometer") {
        c.stroke(circle(12, 13.5, 7));
        c.stroke(polyline({{12, 13.5}, {12, 9.5}}));
        c.stroke(polyline({{10, 3.5}, {14, 3.5}}));
    } else if (name == "view-fullscreen") {
        c.stroke(polyline({{4, 9}, {4, 4}, {9, 4}}));
        c.stroke(polyline({{15, 4}, {20, 4}, {20, 9}}));
        c.stroke(polyline({{20, 15}, {20, 20}, {15, 20}}));
        c.stroke(polyline({{9, 20}, {4, 20}, {4, 15}}));
    } else if (name == "window") {
        c.stroke(rect(3.5, 5, 17, 14));
        c.stroke(polyline({{3.5, 9}, {20.5, 9}}));
    } else if (name == "media-record") {
        c.stroke(circle(12, 12, 8));
        c.fill(circle(12, 12, 4.5), QColor(0xef, 0x44, 0x44));
    } else if (name == "dialog-cancel") {
        c.stroke(polyline({{6, 6}, {18, 18}}));
        c.stroke(polyline({{18, 6}, {6, 18}}));
    } else if (name == "audio-input-microphone" || name == "microphone-sensitivity-muted") {
        c.stroke(rect(9, 3, 6, 11, 3));
        c.stroke(polyline({{6, 11}, {6, 12}}));
        QPainterPath cup;
        cup.moveTo(6, 11);
        cup.cubicTo(6, 19, 18, 19, 18, 11);
        c.stroke(cup);
        c.stroke(polyline({{12, 17}, {12, 21}}));
        if (name == "microphone-sensitivity-muted") c.stroke(polyline({{4, 4}, {20, 20}}), 2.2);
    } else {
        known = false;
    }
    painter.restore();
    return known;
}

}  // namespace tessarin
