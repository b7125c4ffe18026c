#include "core/annotation/AnnotationGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessarin::AnnotationGeometry {

Rect padded(const Rect& rect, double outset) {
    Rect r = grownBy(rect.standardized(), outset);
    if (r.width < 2) r = {r.x + r.width / 2 - 1, r.y, 2, r.height};
    if (r.height < 2) r = {r.x, r.y + r.height / 2 - 1, r.width, 2};
    return r;
}

double strokeOutset(double lineWidth) { return std::max(lineWidth / 2, 1.5); }

Rect boundingBox(std::span<const Point> points) {
    if (points.empty()) return {};
    double x0 = points[0].x, x1 = points[0].x, y0 = points[0].y, y1 = points[0].y;
    for (const Point& p : points) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect grownBy(const Rect& rect, double amount) {
    const Rect r = rect.standardized();
    return {r.x - amount, r.y - amount, r.width + 2 * amount, r.height + 2 * amount};
}

bool rectContains(const Rect& rect, Point point) { return rect.containsInclusive(point); }

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

double distanceToSegment(Point point, Point a, Point b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared <= 0.0001) return distance(point, a);
    const double t = std::clamp(((point.x - a.x) * dx + (point.y - a.y) * dy) / lengthSquared, 0.0, 1.0);
    return distance(point, {a.x + t * dx, a.y + t * dy});
}

std::optional<ArrowHead> arrowHead(Point start, Point end) {
    const double dx = end.x - start.x;
    const double dy = end.y - start.y;
    const double length = std::hypot(dx, dy);
    if (!(length > kMinimumSegmentLength)) return std::nullopt;
    const double h = std::min(length, kArrowHeadMaxLength);
    const double theta = std::atan2(dy, dx);
    const double wing = std::numbers::pi / 6;
    return ArrowHead{{end.x - h * std::cos(theta), end.y - h * std::sin(theta)},
                     {end.x - h * std::cos(theta - wing), end.y - h * std::sin(theta - wing)},
                     {end.x - h * std::cos(theta + wing), end.y - h * std::sin(theta + wing)}};
}

}  // namespace tessarin::AnnotationGeometry
