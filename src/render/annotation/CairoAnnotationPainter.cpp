#include "render/annotation/CairoAnnotationPainter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"
#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/BadgeDigits.h"

namespace tessarin {
namespace {

namespace geo = AnnotationGeometry;

// Ellipses are flattened to at most this many vertices (a 1-pixel error at
// a radius of about a million), and to chords this close to the curve.
constexpr int kEllipseVertices = 2048;
constexpr double kEllipseTolerance = 0.05;
constexpr double kMosaicPreviewAlpha = 0.18;

void setColor(cairo_t* cr, const AnnotationColor& c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool intersects(const Rect& a, const Rect& b) { return !a.intersection(b).isEmpty(); }

// Liang-Barsky: the part of a-b inside `box`.
std::optional<std::pair<Point, Point>> clipSegment(Point a, Point b, const Rect& box) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {a.x - box.minX(), box.maxX() - a.x, a.y - box.minY(), box.maxY() - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    if (!(t0 <= t1)) return std::nullopt;
    return std::pair<Point, Point>{{a.x + t0 * dx, a.y + t0 * dy}, {a.x + t1 * dx, a.y + t1 * dy}};
}

// Sutherland-Hodgman against an axis-aligned box.
std::vector<Point> clipPolygon(std::vector<Point> polygon, const Rect& box) {
    const auto clipEdge = [&](auto inside, auto cross) {
        std::vector<Point> out;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const Point cur = polygon[i];
            const Point prev = polygon[(i + polygon.size() - 1) % polygon.size()];
            if (inside(cur)) {
                if (!inside(prev)) out.push_back(cross(prev, cur));
                out.push_back(cur);
            } else if (inside(prev)) {
                out.push_back(cross(prev, cur));
            }
        }
        polygon = std::move(out);
    };
    const auto atX = [](double x) {
        return [x](Point a, Point b) { return Point{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)}; };
    };
    const auto atY = [](double y) {
        return [y](Point a, Point b) { return Point{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y}; };
    };
    clipEdge([&](Point p) { return p.x >= box.minX(); }, atX(box.minX()));
    clipEdge([&](Point p) { return p.x <= box.maxX(); }, atX(box.maxX()));
    clipEdge([&](Point p) { return p.y >= box.minY(); }, atY(box.minY()));
    clipEdge([&](Point p) { return p.y <= box.maxY(); }, atY(box.maxY()));
    return polygon;
}

void finishShape(cairo_t* cr, bool filled, double width) {
    if (filled) {
        cairo_fill(cr);
    } else {
        cairo_set_line_width(cr, width);
        cairo_stroke(cr);
    }
}

}  // namespace

CairoAnnotationPainter::CairoAnnotationPainter(cairo_t* cr, const PangoTextEngine& text, const Rect& visibleArea)
    : CairoAnnotationPainter(cr, text, visibleArea, visibleArea) {}

CairoAnnotationPainter::CairoAnnotationPainter(cairo_t* cr, const PangoTextEngine& text, const Rect& visibleArea,
                                               const Rect& targetArea, AnnotationRenderContext* mosaics)
    : cr_(cr), text_(text), visible_(visibleArea.standardized()), target_(targetArea.standardized()), mosaics_(mosaics) {}

void CairoAnnotationPainter::beginShape() { cairo_new_path(cr_); }

double CairoAnnotationPainter::strokeWidth(double lineWidth) const {
    if (!std::isfinite(lineWidth) || lineWidth <= 0) return 0;
    // Wider strokes would cover the visible area the same way.
    return std::min(lineWidth, 4 * (visible_.width + visible_.height));
}

Rect CairoAnnotationPainter::reach(double margin) const { return geo::grownBy(visible_, margin + 32); }

void CairoAnnotationPainter::strokeSegment(Point a, Point b, double width) {
    if (width <= 0) return;
    const auto clipped = clipSegment(a, b, reach(width));
    if (!clipped) return;
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr_, clipped->first.x, clipped->first.y);
    cairo_line_to(cr_, clipped->second.x, clipped->second.y);
    cairo_stroke(cr_);
}

void CairoAnnotationPainter::shapeRect(const Rect& rect, bool filled, double width) {
    if (!filled && width <= 0) return;
    const Rect s = rect.standardized();
    if (!intersects(geo::grownBy(s, width / 2 + 1), visible_)) return;
    // Edges moved onto the reach box lie where their stroke cannot show.
    const Rect box = reach(width);
    const double x0 = std::clamp(s.minX(), box.minX(), box.maxX());
    const double x1 = std::clamp(s.maxX(), box.minX(), box.maxX());
    const double y0 = std::clamp(s.minY(), box.minY(), box.maxY());
    const double y1 = std::clamp(s.maxY(), box.minY(), box.maxY());
    cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
    finishShape(cr_, filled, width);
}

void CairoAnnotationPainter::shapeEllipse(const Rect& rect, bool filled, double width) {
    const Rect r = rect.standardized();
    if (!(r.width > 0) || !(r.height > 0) || (!filled && width <= 0)) return;
    const Rect box = reach(width);
    if (!intersects(geo::grownBy(r, width), visible_)) return;
    // Flattened here rather than by Cairo's curves, so the path is the same
    // whichever part of the image the target holds: chords within 1/20 of a
    // pixel of the ellipse, so no curve shows.
    const double radius = std::max(r.width, r.height) / 2;
    const double step = std::acos(std::clamp(1 - kEllipseTolerance / radius, -1.0, 1.0));
    const int vertices = std::clamp(int(std::ceil(std::numbers::pi / std::max(step, 1e-9))), 8, kEllipseVertices);
    std::vector<Point> polygon;
    polygon.reserve(size_t(vertices));
    for (int i = 0; i < vertices; ++i) {
        const double angle = 2 * std::numbers::pi * i / vertices;
        polygon.push_back({r.midX() + r.width / 2 * std::cos(angle), r.midY() + r.height / 2 * std::sin(angle)});
    }
    if (box.intersection(r) != r) polygon = clipPolygon(std::move(polygon), box);
    if (polygon.size() < 3) return;
    cairo_move_to(cr_, polygon[0].x, polygon[0].y);
    for (size_t i = 1; i < polygon.size(); ++i) cairo_line_to(cr_, polygon[i].x, polygon[i].y);
    cairo_close_path(cr_);
    // Round joins keep the outline within half the width of the chords, as
    // it would be of the curve; mitres would poke out at every vertex.
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    finishShape(cr_, filled, width);
}

void CairoAnnotationPainter::fillBlack(const Rect& rect, double alpha) {
    const Rect r = rect.standardized().intersection(visible_);
    if (r.isEmpty()) return;
    cairo_set_source_rgba(cr_, 0, 0, 0, alpha);
    cairo_rectangle(cr_, r.x, r.y, r.width, r.height);
    cairo_fill(cr_);
}

void CairoAnnotationPainter::paint(const LineAnnotation& line) {
    beginShape();
    if (!finite(line.startPoint) || !finite(line.endPoint)) return;
    if (geo::distance(line.startPoint, line.endPoint) <= geo::kMinimumSegmentLength) return;
    setColor(cr_, line.color);
    strokeSegment(line.startPoint, line.endPoint, strokeWidth(line.lineWidth));
}

void CairoAnnotationPainter::paint(const ArrowAnnotation& arrow) {
    beginShape();
    if (!finite(arrow.startPoint) || !finite(arrow.endPoint)) return;
    const auto head = geo::arrowHead(arrow.startPoint, arrow.endPoint);
    if (!head) return;
    setColor(cr_, arrow.color);
    strokeSegment(arrow.startPoint, head->base, strokeWidth(arrow.lineWidth));
    const Point triangle[] = {arrow.endPoint, head->leftWing, head->rightWing};
    if (!intersects(geo::grownBy(geo::boundingBox(triangle), 1), visible_)) return;
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_move_to(cr_, triangle[0].x, triangle[0].y);
    cairo_line_to(cr_, triangle[1].x, triangle[1].y);
    cairo_line_to(cr_, triangle[2].x, triangle[2].y);
    cairo_close_path(cr_);
    cairo_fill(cr_);
}

void CairoAnnotationPainter::paint(const RectangleAnnotation& shape) {
    beginShape();
    if (!shape.rect.isFinite()) return;
    setColor(cr_, shape.color);
    shapeRect(shape.rect, shape.filled, strokeWidth(shape.lineWidth));
}

void CairoAnnotationPainter::paint(const CircleAnnotation& shape) {
    beginShape();
    if (!shape.rect.isFinite()) return;
    setColor(cr_, shape.color);
    shapeEllipse(shape.rect, shape.filled, strokeWidth(shape.lineWidth));
}

void CairoAnnotationPainter::paint(const HighlighterAnnotation& highlight) {
    beginShape();
    const Rect r = highlight.rect.standardized().intersection(visible_);
    if (!highlight.rect.isFinite() || r.isEmpty()) return;
    setColor(cr_, highlight.color.withAlpha(HighlighterAnnotation::kPaintAlpha));
    cairo_rectangle(cr_, r.x, r.y, r.width, r.height);
    cairo_fill(cr_);
}

void CairoAnnotationPainter::paint(const NumberAnnotation& badge) {
    beginShape();
    const double size = badge.size;
    if (!finite(badge.center) || !std::isfinite(size) || !intersects(badge.badgeRect().standardized(), visible_)) return;
    const Rect square = badge.badgeRect().standardized();
    AnnotationColor textColor = badge.color;
    if (badge.filled) {
        setColor(cr_, badge.color);
        shapeEllipse(square, true, 0);
        textColor = AnnotationColor::white();
    } else {
        const double stroke = std::max(size * 0.09, 2.0);
        setColor(cr_, badge.color);
        shapeEllipse(geo::grownBy(square, -stroke / 2), false, strokeWidth(stroke));
    }
    const BadgeDigits digits = BadgeDigits::of(badge, text_);
    cairo_save(cr_);
    cairo_translate(cr_, badge.center.x, badge.center.y);
    cairo_scale(cr_, 1, -1);  // text runs in a y-down space
    cairo_move_to(cr_, -digits.measured.width / 2, -digits.measured.height / 2);
    setColor(cr_, textColor);
    text_.draw(cr_, digits.text, digits.fontSize, std::nullopt, true);
    cairo_restore(cr_);
}

void CairoAnnotationPainter::paint(const TextAnnotation& text) {
    beginShape();
    if (!finite(text.position)) return;
    const Rect box = text.textBox();
    if (!box.isFinite() || !intersects(geo::grownBy(box, 1), visible_)) return;
    cairo_save(cr_);
    cairo_translate(cr_, box.x, box.maxY());  // the first line sits at the top of the box
    cairo_scale(cr_, 1, -1);
    cairo_move_to(cr_, 0, 0);
    setColor(cr_, text.color);
    text_.draw(cr_, text.text, text.fontSize, text.width, false);
    cairo_restore(cr_);
}

void CairoAnnotationPainter::paint(const FreehandAnnotation& stroke) {
    beginShape();
    const double width = strokeWidth(stroke.lineWidth);
    if (stroke.points.size() < 2 || width <= 0) return;
    if (!std::all_of(stroke.points.begin(), stroke.points.end(), finite)) return;
    setColor(cr_, stroke.color);
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_move_to(cr_, stroke.points[0].x, stroke.points[0].y);
    for (size_t i = 1; i < stroke.points.size(); ++i) cairo_line_to(cr_, stroke.points[i].x, stroke.points[i].y);
    cairo_stroke(cr_);
}

void CairoAnnotationPainter::paint(const PixelateAnnotation& mosaic) {
    beginShape();
    if (!mosaic.rect.isFinite()) return;
    const Rect R = mosaic.rect.standardized();
    const bool blackOut = mosaic.effect == AnnotationMosaicEffect::blackOut;
    if (!mosaics_) {
        fillBlack(R, blackOut ? 1 : kMosaicPreviewAlpha);
        return;
    }
    const Rect visible = R.intersection(mosaics_->imageDrawRect().standardized());
    if (visible.isEmpty()) return;
    if (blackOut) {
        fillBlack(visible, 1);
        return;
    }
    // Only the processed pixels that can land on the target are made; the
    // clip stays the whole box's, so its edges are the same in every tile.
    const Rect wanted = visible.intersection(target_);
    if (wanted.isEmpty()) return;
    const auto region = mosaics_->mosaicRegionImage(mosaic.effect, mosaic.radius, wanted);
    if (!region) {
        fillBlack(R, kMosaicPreviewAlpha);  // as the preview without source pixels
        return;
    }
    const Rect& to = region->drawRect;
    cairo_save(cr_);
    cairo_rectangle(cr_, visible.x, visible.y, visible.width, visible.height);
    cairo_clip(cr_);
    // The region's rows run from the top: its first row belongs at to.maxY().
    cairo_translate(cr_, to.x, to.maxY());
    cairo_scale(cr_, to.width / cairo_image_surface_get_width(region->image.get()),
                -to.height / cairo_image_surface_get_height(region->image.get()));
    cairo_set_source_surface(cr_, region->image.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

}  // namespace tessarin
