// A painter written against the model alone, with its own mosaic source, as
// a second renderer (a Qt canvas) would be: every kind reaches its own
// paint, and mosaic boxes are cut to the source image the painter was given.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeTextMeasurer.h"
#include "core/annotation/AnnotationMosaicSource.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"

namespace tessarin {
namespace {

class PlainMosaicSource final : public AnnotationMosaicSource {
public:
    explicit PlainMosaicSource(Rect drawRect) : drawRect_(drawRect) {}
    const Rect& imageDrawRect() const override { return drawRect_; }
    double radiusInSourcePixels(AnnotationMosaicEffect, double radius) const override { return radius; }
    uint32_t sourceReach(AnnotationMosaicEffect, double radius) const override { return uint32_t(radius); }

private:
    Rect drawRect_;
};

// Writes down what it was asked to paint.
class RecordingPainter final : public AnnotationPainter {
public:
    explicit RecordingPainter(const AnnotationMosaicSource* mosaics) : mosaics_(mosaics) {}
    std::vector<std::string> painted;

    void paint(const ArrowAnnotation&) override { painted.push_back("arrow"); }
    void paint(const LineAnnotation&) override { painted.push_back("line"); }
    void paint(const NumberAnnotation&) override { painted.push_back("number"); }
    void paint(const RectangleAnnotation&) override { painted.push_back("rectangle"); }
    void paint(const CircleAnnotation&) override { painted.push_back("circle"); }
    void paint(const HighlighterAnnotation&) override { painted.push_back("highlighter"); }
    void paint(const TextAnnotation&) override { painted.push_back("text"); }
    void paint(const FreehandAnnotation&) override { painted.push_back("freehand"); }
    void paint(const PixelateAnnotation& mosaic) override {
        if (!mosaics_) {
            painted.push_back("mosaic preview");
            return;
        }
        const Rect inside = mosaic.rect.standardized().intersection(mosaics_->imageDrawRect());
        painted.push_back(inside.isEmpty() ? "mosaic nothing" : "mosaic " + std::to_string(int(inside.width)) + "x" +
                                                                    std::to_string(int(inside.height)));
    }

private:
    const AnnotationMosaicSource* mosaics_;
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
    };
    for (const auto& [annotation, kind] : cases) {
        RecordingPainter painter(nullptr);
        annotation->draw(painter);
        EXPECT_EQ(painter.painted, std::vector<std::string>{kind});
    }
}

TEST(AnnotationPainter, MosaicBoxesAreCutToTheSourceThePainterWasGiven) {
    const PlainMosaicSource source({0, 0, 100, 50});
    const struct {
        Rect box;
        const AnnotationMosaicSource* mosaics;
        std::string painted;
    } cases[] = {
        {{10, 10, 20, 20}, &source, "mosaic 20x20"},
        {{90, 40, 20, 20}, &source, "mosaic 10x10"},        // over the image's corner
        {{110, 40, -20, 20}, &source, "mosaic 10x10"},      // drawn right to left
        {{200, 200, 10, 10}, &source, "mosaic nothing"},    // outside the image
        {{10, 10, 20, 20}, nullptr, "mosaic preview"},      // no source pixels
    };
    for (const auto& c : cases) {
        RecordingPainter painter(c.mosaics);
        PixelateAnnotation(c.box, AnnotationMosaicEffect::pixelate, 12).draw(painter);
        EXPECT_EQ(painter.painted, std::vector<std::string>{c.painted}) << c.box.x << "," << c.box.y;
    }
}

}  // namespace
}  // namespace tessarin
