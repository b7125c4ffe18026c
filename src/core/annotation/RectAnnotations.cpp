#include "core/annotation/RectAnnotations.h"

#include <algorithm>

#include "core/annotation/AnnotationGeometry.h"

namespace tessarin {

namespace geo = AnnotationGeometry;

Rect RectBackedAnnotation::selectionBounds() const { return geo::padded(rect, boundsOutset()); }

void RectBackedAnnotation::applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) {
    if (const auto* s = std::get_if<GeometrySnapshot::RectShape>(&snapshot)) rect = s->rect.offsetBy(delta.x, delta.y);
}

std::optional<Rect> FillableShapeAnnotation::filledContentRect() const {
    if (!filled) return std::nullopt;
    return rect.standardized();
}

void FillableShapeAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
    if (channels.metricValue) lineWidth = *channels.metricValue;
}

double FillableShapeAnnotation::boundsOutset() const { return geo::strokeOutset(lineWidth); }

bool RectangleAnnotation::contains(Point point, double tolerance) const {
    if (isHidden()) return false;
    if (filled) return geo::rectContains(geo::grownBy(rect, tolerance), point);
    const double band = tolerance + lineWidth / 2;
    const Rect outer = geo::grownBy(rect, band);
    const Rect r = rect.standardized();
    const Rect inner{r.x + band, r.y + band, r.width - 2 * band, r.height - 2 * band};
    const bool insideInner = inner.width > 0 && inner.height > 0 && point.x > inner.minX() &&
                             point.x < inner.maxX() && point.y > inner.minY() && point.y < inner.maxY();
    return geo::rectContains(outer, point) && !insideInner;
}

bool CircleAnnotation::contains(Point point, double tolerance) const {
    if (isHidden()) return false;
    const Rect r = rect.standardized();
    if (!(r.width > 0) || !(r.height > 0)) return false;
    const double cx = r.midX();
    const double cy = r.midY();
    const auto inside = [&](double a, double b) {
        const double nx = (point.x - cx) / a;
        const double ny = (point.y - cy) / b;
        return nx * nx + ny * ny;
    };
    if (filled) return inside(r.width / 2 + tolerance, r.height / 2 + tolerance) <= 1;
    const double outer = inside(r.width / 2 + lineWidth / 2 + tolerance, r.height / 2 + lineWidth / 2 + tolerance);
    const double inner = inside(std::max(0.0001, r.width / 2 - lineWidth / 2 - tolerance),
                                std::max(0.0001, r.height / 2 - lineWidth / 2 - tolerance));
    return outer <= 1 && inner >= 1;
}

bool HighlighterAnnotation::contains(Point point, double tolerance) const {
    return !isHidden() && geo::rectContains(geo::grownBy(rect, tolerance), point);
}

void HighlighterAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
}

bool PixelateAnnotation::contains(Point point, double tolerance) const {
    return !isHidden() && geo::rectContains(geo::grownBy(rect, tolerance), point);
}

AnnotationStyleChannels PixelateAnnotation::styleChannels() const {
    if (effect == AnnotationMosaicEffect::blackOut) return {std::nullopt, effect, std::nullopt};
    return {std::nullopt, effect, radius};
}

void PixelateAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.mosaicEffect) effect = *channels.mosaicEffect;
    if (channels.metricValue) radius = *channels.metricValue;
}

}  // namespace tessarin
