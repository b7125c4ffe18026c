#include "core/annotation/OtherAnnotations.h"

#include <algorithm>
#include <cmath>

#include "core/annotation/AnnotationGeometry.h"

namespace tessarin {

namespace geo = AnnotationGeometry;

Rect NumberAnnotation::selectionBounds() const { return geo::padded(badgeRect(), 0); }

std::optional<Rect> NumberAnnotation::filledContentRect() const {
    if (!filled) return std::nullopt;
    return badgeRect().standardized();
}

bool NumberAnnotation::contains(Point point, double tolerance) const {
    return !isHidden() && geo::rectContains(geo::grownBy(badgeRect(), tolerance), point);
}

void NumberAnnotation::applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) {
    if (const auto* s = std::get_if<GeometrySnapshot::Number>(&snapshot)) {
        center = {s->center.x + delta.x, s->center.y + delta.y};
    }
}

void NumberAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
    if (channels.metricValue) size = *channels.metricValue;
}

TextAnnotation::TextAnnotation(std::string t, Point pos, double size, AnnotationColor c,
                               std::optional<double> wrapWidth, std::shared_ptr<const TextMeasurer> measurer)
    : text(std::move(t)), position(pos), fontSize(size), color(c), width(wrapWidth), measurer_(std::move(measurer)) {}

TextAnnotation::TextAnnotation(const TextAnnotation& other)
    : Annotation(other),
      text(other.text),
      position(other.position),
      fontSize(other.fontSize),
      color(other.color),
      width(other.width),
      measurer_(other.measurer_) {}

Size TextAnnotation::measuredSize() const {
    if (cache_ && cache_->text == text && cache_->fontSize == fontSize && cache_->width == width) return cache_->size;
    const Size size = measurer_ ? measurer_->measure(text, fontSize, width) : Size{};
    cache_ = Measurement{text, fontSize, width, size};
    return size;
}

Rect TextAnnotation::textBox() const {
    const Size measured = measuredSize();
    return {position.x, position.y, width ? *width : std::ceil(measured.width), std::ceil(measured.height)};
}

Rect TextAnnotation::selectionBounds() const { return geo::padded(textBox(), 0); }

bool TextAnnotation::contains(Point point, double tolerance) const {
    return !isHidden() && geo::rectContains(geo::grownBy(textBox(), tolerance), point);
}

void TextAnnotation::applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) {
    if (const auto* s = std::get_if<GeometrySnapshot::Text>(&snapshot)) {
        position = {s->position.x + delta.x, s->position.y + delta.y};
        width = s->width;
    }
}

void TextAnnotation::applyResizedRect(const Rect& r) {
    position = {r.x, r.y};
    width = std::max(r.width, kMinimumWidth);
}

void TextAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
    if (channels.metricValue) fontSize = *channels.metricValue;
}

Rect FreehandAnnotation::selectionBounds() const {
    return geo::padded(geo::boundingBox(points), geo::strokeOutset(lineWidth));
}

bool FreehandAnnotation::contains(Point point, double tolerance) const {
    if (isHidden() || points.size() < 2) return false;
    const double reach = std::max(tolerance, lineWidth);
    for (size_t i = 1; i < points.size(); ++i) {
        if (geo::distanceToSegment(point, points[i - 1], points[i]) <= reach) return true;
    }
    return false;
}

void FreehandAnnotation::applyGeometry(const AnnotationGeometrySnapshot& snapshot, Point delta) {
    if (const auto* s = std::get_if<GeometrySnapshot::Freehand>(&snapshot)) {
        points.clear();
        points.reserve(s->points.size());
        for (const Point& p : s->points) points.push_back({p.x + delta.x, p.y + delta.y});
    }
}

void FreehandAnnotation::applyStyleChannels(const AnnotationStyleChannels& channels) {
    if (channels.color) color = *channels.color;
    if (channels.metricValue) lineWidth = *channels.metricValue;
}

}  // namespace tessarin
