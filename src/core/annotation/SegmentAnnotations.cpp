#include "core/annotation/SegmentAnnotations.h"

#include <cmath>
#include <numbers>

#include "core/annotation/AnnotationGeometry.h"

namespace tessarin {

namespace geo = AnnotationGeometry;

Rect SegmentAnnotation::selectionBounds() const {
    const Point ends[] = {startPoint, endPoint};
    return geo::padded(geo::boundingBox(ends), geo::strokeOutset(lineWidth));
}

bool SegmentAnnotation::contains(Point point, double tolerance) const {
    if (isHidden()) return false;
    return geo::distance(point, startPoint) <= tolerance || geo::distance(point, endPoint) <= tolerance ||
           geo::distanceToSegment(point, startPoint, endPoint) <= tolerance;
}

AnnotationGeometrySnapshot SegmentAnnotation::geometrySnapshot() const {
    return GeometrySnapshot::Segment{startPoint, endPoint};
}

void SegmentAnnotation::applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) {
    if (const auto* s = std::get_if<GeometrySnapshot::Segment>(&snapshot)) {
        startPoint = {s->start.x + delta.x, s->start.y + delta.y};
        endPoint = {s->end.x + delta.x, s->end.y + delta.y};
    }
}

AnnotationStyleChannels SegmentAnnotation::styleChannels() const { return {color, std::nullopt, lineWidth}; }

void SegmentAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
    if (channels.metricValue) lineWidth = *channels.metricValue;
}

Rect ArrowAnnotation::visualBounds() const {
    return geo::grownBy(selectionBounds(), geo::kArrowHeadMaxLength * std::sin(std::numbers::pi / 6));
}

}  // namespace tessarin
