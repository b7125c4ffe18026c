// A painter written against the model alone, as a second renderer (a Qt
// canvas) would be: every kind reaches its own paint.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeTextMeasurer.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

// Writes down what it was asked to paint.
class RecordingPainter final : public AnnotationPainter {
public:
    std::vector<std::string> painted;

    void paint(const ArrowAnnotation&) override { painted.push_back("arrow"); }
    void paint(const LineAnnotation&) override { painted.push_back("line"); }
    void paint(const NumberAnnotation&) override { painted.push_back("number"); }
    void paint(const RectangleAnnotation&) override { painted.push_back("rectangle"); }
    void paint(const CircleAnnotation&) override { painted.push_back("circle"); }
    void paint(const HighlighterAnnotation&) override { painted.push_back("highlighter"); }
    void paint(const TextAnnotation&) override { painted.push_back("text"); }
    void paint(const FreehandAnnotation&) override { painted.push_back("freehand"); }
    void paint(const PixelateAnnotation&) override { painted.push_back("mosaic"); }
};

TEST(AnnotationPainter, EveryKindReachesItsOwnPaint) {
    const AnnotationColor red = AnnotationColor::systemRed();
    const std::vector<std::pair<AnnotationPtr, std::string>> cases = {
        {std::make_shared<ArrowAnnotation>(Point{0, 0}, Point{10, 0}, red, 2), "arrow"},
        {std::make_shared<LineAnnotation>(Point{0, 0}, Point{10, 0}, red, 2), "line"},
        {std::make_shared<NumberAnnotation>(3, Point{5, 5}, red, 20, true), "number"},
        {std::make_shared<RectangleAnnotation>(Rect{0, 0, 10, 10}, red, 2, false), "rectangle"},
        {std::make_shared<CircleAnnotation>(Rect{0, 0, 10, 10}, red, 2, true), "circle"},
        {std::make_shared<HighlighterAnnotation>(Rect{0, 0, 10, 10}, red), "highlighter"},
        {std::make_shared<TextAnnotation>("hi", Point{1, 1}, 12, red, std::nullopt,
                                          std::make_shared<testing::FakeTextMeasurer>()),
         "text"},
        {std::make_shared<FreehandAnnotation>(std::vector<Point>{{0, 0}, {3, 4}}, red, 2), "freehand"},
        {std::make_shared<PixelateAnnotation>(Rect{0, 0, 10, 10}, AnnotationMosaicEffect::pixelate, 12), "mosaic"},
    };
    for (const auto& [annotation, kind] : cases) {
        RecordingPainter painter;
        annotation->draw(painter);
        EXPECT_EQ(painter.painted, std::vector<std::string>{kind});
    }
}

}  // namespace
}  // namespace tessarin
