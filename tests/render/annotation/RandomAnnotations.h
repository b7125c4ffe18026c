#pragma once
// Random annotations of every kind over a canvas, reproducible from a seed:
// non-integral coordinates, shapes reaching past the edges, translucent
// colours, long badge numbers, multi-line, wrapped and overhanging text.

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin::test {

class RandomAnnotations {
public:
    enum class Kind { arrow, line, number, rectangle, circle, freehand, highlighter, mosaic, text, count };

    RandomAnnotations(uint32_t seed, Size canvas, std::shared_ptr<const TextMeasurer> text)
        : random_(seed), canvas_(canvas), text_(std::move(text)) {}

    std::vector<AnnotationPtr> sequence(size_t count) {
        std::vector<AnnotationPtr> shapes;
        for (size_t i = 0; i < count; ++i) shapes.push_back(of(Kind(below(int(Kind::count)))));
        return shapes;
    }

    AnnotationPtr of(Kind kind) {
        switch (kind) {
            case Kind::arrow: return std::make_shared<ArrowAnnotation>(point(), point(), color(), width());
            case Kind::line: return std::make_shared<LineAnnotation>(point(), point(), color(), width());
            case Kind::number: {
                static const long long numbers[] = {1, 7, 42, 100, 98765, -3, 9223372036854775807LL};
                return std::make_shared<NumberAnnotation>(numbers[below(7)], point(), color(), uniform(6, 60),
                                                          below(2) == 0);
            }
            case Kind::rectangle: return std::make_shared<RectangleAnnotation>(rect(), color(), width(), below(2) == 0);
            case Kind::circle: return std::make_shared<CircleAnnotation>(rect(), color(), width(), below(2) == 0);
            case Kind::freehand: {
                std::vector<Point> points{point()};
                for (int i = below(8); i >= 0; --i) {
                    points.push_back({points.back().x + uniform(-30, 30), points.back().y + uniform(-30, 30)});
                }
                return std::make_shared<FreehandAnnotation>(std::move(points), color(), width());
            }
            case Kind::highlighter: return std::make_shared<HighlighterAnnotation>(rect(), color());
            case Kind::mosaic: {
                const AnnotationMosaicEffect effect = AnnotationMosaicEffect(below(4));
                return std::make_shared<PixelateAnnotation>(rect(), effect, uniform(1, 30));
            }
            case Kind::text: {
                static const char* texts[] = {"Hi", "Step 1: check this", "two\nlines", "gÿjq Åé",
                                              "a\u0308\u0308\u0308\u0308\u0308\u0308\u0308\u0308 tall marks",
                                              "WWWWWWWW", "fff\r\nwrapped words here"};
                std::optional<double> wrap;
                if (below(3) == 0) wrap = uniform(4, 120);
                return std::make_shared<TextAnnotation>(texts[below(7)], point(), uniform(6, 48), color(), wrap, text_);
            }
            case Kind::count: break;
        }
        return nullptr;
    }

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(random_); }
    // Mostly on the canvas, sometimes past its edges.
    Point point() {
        return {uniform(-0.2, 1.2) * canvas_.width, uniform(-0.2, 1.2) * canvas_.height};
    }
    Rect rect() {
        const Point p = point();
        return {p.x, p.y, uniform(-0.5, 0.5) * canvas_.width, uniform(-0.5, 0.5) * canvas_.height};
    }
    double width() { return below(5) == 0 ? uniform(8, 24) : uniform(0.5, 6); }
    AnnotationColor color() {
        return {uniform(0, 1), uniform(0, 1), uniform(0, 1), below(3) == 0 ? uniform(0.2, 1) : 1};
    }

    std::mt19937 random_;
    Size canvas_;
    std::shared_ptr<const TextMeasurer> text_;
};

}  // namespace tessarin::test
