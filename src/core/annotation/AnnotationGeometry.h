#pragma once
// Geometry rules shared by the annotation kinds and the renderer.

#include <optional>
#include <span>

#include "core/common/Geometry.h"

namespace tessarin::AnnotationGeometry {

// Head length cap of arrows; the head is as wide as it is long.
inline constexpr double kArrowHeadMaxLength = 20;
// Segments this short or shorter draw nothing.
inline constexpr double kMinimumSegmentLength = 0.001;

// The rectangle standardised, grown by `outset` on every side, then widened
// (and heightened) to at least 2 about its centre.
Rect padded(const Rect& rect, double outset);
// max(lineWidth / 2, 1.5): the outset of stroked kinds.
double strokeOutset(double lineWidth);
Rect boundingBox(std::span<const Point> points);
Rect grownBy(const Rect& rect, double amount);
// Inclusive of the edges.
bool rectContains(const Rect& rect, Point point);

double distance(Point a, Point b);
// Distance from `point` to the segment a-b (to `a` when the segment is degenerate).
double distanceToSegment(Point point, Point a, Point b);

struct ArrowHead {
    Point base;
    Point leftWing;
    Point rightWing;
};
// Nothing when the arrow is 0.001 long or shorter.
std::optional<ArrowHead> arrowHead(Point start, Point end);

}  // namespace tessarin::AnnotationGeometry
