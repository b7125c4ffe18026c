#include "render/annotation/AnnotationDrawnBounds.h"

#include <algorithm>
#include <string>

#include "core/annotation/AnnotationGeometry.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"
#include "render/annotation/BadgeDigits.h"

namespace tessarin::AnnotationDrawnBounds {
namespace {

// Antialiasing and the rounding of glyph positions to whole pixels can put
// ink up to a pixel beyond the exact outline.
constexpr double kInkMargin = 1;

Rect unionOf(const Rect& a, const Rect& b) {
    if (b.isEmpty()) return a;
    const double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    return {x0, y0, std::max(a.maxX(), b.maxX()) - x0, std::max(a.maxY(), b.maxY()) - y0};
}

// `ink` is in a y-down layout space whose origin lies at `topLeft` of drawing space.
Rect inkInDrawingSpace(const Rect& ink, Point topLeft) {
    if (ink.isEmpty()) return {};
    return AnnotationGeometry::grownBy({topLeft.x + ink.x, topLeft.y - ink.maxY(), ink.width, ink.height}, kInkMargin);
}

class Bounds final : public AnnotationPainter {
public:
    explicit Bounds(const PangoTextEngine& text) : text_(text) {}
    Rect result;

    void paint(const ArrowAnnotation& a) override { result = a.visualBounds(); }
    void paint(const LineAnnotation& a) override { result = a.visualBounds(); }
    void paint(const RectangleAnnotation& a) override { result = a.visualBounds(); }
    void paint(const CircleAnnotation& a) override { result = a.visualBounds(); }
    void paint(const HighlighterAnnotation& a) override { result = a.visualBounds(); }
    void paint(const PixelateAnnotation& a) override { result = a.visualBounds(); }
    void paint(const FreehandAnnotation& a) override { result = a.visualBounds(); }
    void paint(const NumberAnnotation& badge) override {
        const BadgeDigits digits = BadgeDigits::of(badge, text_);
        const Rect ink = text_.inkExtents(digits.text, digits.fontSize, std::nullopt, true);
        result = unionOf(badge.visualBounds(), inkInDrawingSpace(ink, digits.topLeft));
    }
    void paint(const TextAnnotation& text) override {
        const Rect box = text.textBox();
        const Rect ink = text_.inkExtents(text.text, text.fontSize, text.width, false);
        result = unionOf(text.visualBounds(), inkInDrawingSpace(ink, {box.x, box.maxY()}));
    }

private:
    const PangoTextEngine& text_;
};

}  // namespace

Rect of(const Annotation& annotation, const PangoTextEngine& text) {
    Bounds bounds(text);
    annotation.draw(bounds);
    return bounds.result;
}

}  // namespace tessarin::AnnotationDrawnBounds
