#include "core/annotation/AnnotationFingerprint.h"

#include <cstring>

#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

class Fingerprint final : public AnnotationPainter {
public:
    std::string bytes;

    void paint(const ArrowAnnotation& a) override { segment('a', a.startPoint, a.endPoint, a.color, a.lineWidth); }
    void paint(const LineAnnotation& a) override { segment('l', a.startPoint, a.endPoint, a.color, a.lineWidth); }
    void paint(const NumberAnnotation& a) override {
        kind('n');
        add(a.number);
        add(a.center);
        add(a.color);
        add(a.size);
        add(a.filled);
    }
    void paint(const RectangleAnnotation& a) override { fillable('r', a); }
    void paint(const CircleAnnotation& a) override { fillable('c', a); }
    void paint(const HighlighterAnnotation& a) override {
        kind('h');
        add(a.rect);
        add(a.color);
    }
    void paint(const PixelateAnnotation& a) override {
        kind('p');
        add(a.rect);
        add(a.effect);
        add(a.radius);
    }
    void paint(const TextAnnotation& a) override {
        kind('t');
        add(a.position);
        add(a.fontSize);
        add(a.color);
        add(a.width.has_value());
        add(a.width.value_or(0));
        add(a.text.size());
        bytes += a.text;
    }
    void paint(const FreehandAnnotation& a) override {
        kind('f');
        add(a.color);
        add(a.lineWidth);
        add(a.points.size());
        for (const Point& p : a.points) add(p);
    }

private:
    void kind(char k) { bytes += k; }
    template <class T>
    void add(const T& value) {
        char raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        bytes.append(raw, sizeof(T));
    }
    void add(Point p) { add(p.x), add(p.y); }
    void add(const Rect& r) { add(r.x), add(r.y), add(r.width), add(r.height); }
    void add(const AnnotationColor& c) { add(c.red), add(c.green), add(c.blue), add(c.alpha); }
    void segment(char k, Point a, Point b, const AnnotationColor& color, double width) {
        kind(k);
        add(a);
        add(b);
        add(color);
        add(width);
    }
    void fillable(char k, const FillableShapeAnnotation& a) {
        kind(k);
        add(a.rect);
        add(a.color);
        add(a.lineWidth);
        add(a.filled);
    }
};

}  // namespace

std::string annotationFingerprint(const Annotation& annotation) {
    Fingerprint fingerprint;
    fingerprint.bytes += annotation.isHidden() ? 'H' : 'V';
    annotation.draw(fingerprint);
    return std::move(fingerprint.bytes);
}

}  // namespace tessarin
