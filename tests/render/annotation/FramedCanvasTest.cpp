// The editor canvas with a crop and a frame shows byte for byte what the export delivers.

#include <gtest/gtest.h>

#include <random>

#include "../TestImages.h"
#include "EditScript.h"
#include "RandomAnnotations.h"
#include "core/annotation/AnnotationCanvasFrame.h"
#include "render/annotation/CairoAnnotationEditorRenderer.h"
#include "render/annotation/PangoTextEngine.h"

namespace tessarin {
namespace {

using test::EditScript;
using test::RandomAnnotations;

class FrameScript {
public:
    FrameScript(uint32_t seed, std::shared_ptr<const Image> picture) : random_(seed), picture_(std::move(picture)) {}

    std::optional<AnnotationBackgroundStyle> background() {
        if (below(6) == 0) return std::nullopt;
        AnnotationBackgroundStyle style;
        using namespace AnnotationBackgroundFill;
        switch (below(4)) {
            case 0: style.fill = annotationBackgroundGradients()[size_t(below(10))]; break;
            case 1: style.fill = Solid{annotationBackgroundSolids()[size_t(below(9))]}; break;
            case 2: style.fill = Picture{{picture_, "noise"}}; break;
            default: style.fill = Blur{uniform(0, 1)}; break;
        }
        style.padding = below(4) == 0 ? 0 : uniform(1, 40);
        style.cornerRadius = below(3) == 0 ? 0 : uniform(0, 120);
        style.shadow = below(3) == 0 ? 0 : uniform(0, 1);
        return style;
    }

    std::optional<Rect> crop(const Rect& draw) {
        if (below(2) == 0) return std::nullopt;
        const double x = draw.x + uniform(0, draw.width / 2), y = draw.y + uniform(0, draw.height / 2);
        return Rect{x, y, uniform(20, draw.maxX() - x), uniform(20, draw.maxY() - y)};
    }

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(random_); }

    std::mt19937 random_;
    std::shared_ptr<const Image> picture_;
};

TEST(FramedCanvas, RandomEditsAndFramesShowWhatTheExportDelivers) {
    const auto text = std::make_shared<PangoTextEngine>();
    const auto renderer = makeCairoAnnotationEditorRenderer(text);
    const auto picture = std::make_shared<const Image>(test::noiseImage(90, 60, 3));
    const struct {
        const char* name;
        uint32_t width, height;
        Rect drawRect;
        bool opaque;
    } setups[] = {
        {"an opaque screenshot", 190, 140, {0, 0, 190, 140}, true},
        {"translucent pixels, two pixels per point", 200, 150, {-20, 10, 100, 75}, false},
    };
    constexpr int kSteps = 120;
    for (const auto& setup : setups) {
        const auto source = std::make_shared<const Image>(test::noiseImage(setup.width, setup.height, 5, setup.opaque));
        auto canvas = renderer->makeCanvas(source, setup.drawRect);
        ASSERT_TRUE(canvas);
        EditScript edits(uint32_t(setup.width), {setup.drawRect.width, setup.drawRect.height}, text);
        FrameScript frames(uint32_t(setup.height), picture);
        std::vector<AnnotationPtr> doc =
            RandomAnnotations(13, {setup.drawRect.width, setup.drawRect.height}, text).sequence(10);
        for (auto& a : doc) a->applyGeometry(a->geometrySnapshot(), {setup.drawRect.x, setup.drawRect.y});
        std::optional<AnnotationBackgroundStyle> background = frames.background();
        std::optional<Rect> crop;
        for (int step = 0; step < kSteps; ++step) {
            std::string edit = "frame";
            if (step % 4 == 0) {
                background = frames.background();
                crop = frames.crop(setup.drawRect);
            } else {
                edit = edits.step(doc);
            }
            const auto frame = AnnotationCanvasFrame::of(setup.width, setup.height, setup.drawRect, crop, background);
            canvas->update(doc, frame, background, false);
            const auto shown = canvas->render({0, 0, frame.width, frame.height});
            AnnotationCompositeInputs inputs{source, {}, setup.drawRect, crop, background};
            for (const auto& a : doc) {
                if (!a->isHidden()) inputs.annotations.push_back(a);
            }
            const auto exported = renderer->exportImage(inputs);
            ASSERT_TRUE(shown && exported) << setup.name << ": step " << step << " (" << edit << ")";
            ASSERT_TRUE(test::samePixels(*shown, *exported))
                << setup.name << ": step " << step << " (" << edit << ") differs from the export";
            // Done from the canvas's own tiles gives the same.
            const auto done = canvas->exportImage(inputs);
            ASSERT_TRUE(done && test::samePixels(*done, *exported))
                << setup.name << ": step " << step << " (" << edit << ") Done from the canvas differs";
        }
    }
}

TEST(FramedCanvas, ABlurredBackdropWaitsForTheEndOfADrag) {
    const auto text = std::make_shared<PangoTextEngine>();
    const auto renderer = makeCairoAnnotationEditorRenderer(text);
    const auto source = std::make_shared<const Image>(test::noiseImage(160, 120, 9));
    const Rect draw{0, 0, 160, 120};
    auto canvas = renderer->makeCanvas(source, draw);
    const AnnotationBackgroundStyle style{AnnotationBackgroundFill::Blur{0.3}, 20, 8, 0.4};
    const auto frame = AnnotationCanvasFrame::of(160, 120, draw, std::nullopt, style);
    auto mosaic = std::make_shared<PixelateAnnotation>(Rect{0, 0, 160, 120}, AnnotationMosaicEffect::blackOut, 12.0);
    std::vector<AnnotationPtr> doc;
    canvas->update(doc, frame, style, false);
    const auto before = canvas->render({0, 0, frame.width, frame.height});
    doc.push_back(mosaic);  // blacks out everything: the backdrop would turn black
    canvas->update(doc, frame, style, true);
    const auto held = canvas->render({0, 0, frame.width, frame.height});
    ASSERT_TRUE(before && held);
    // The padding still shows the old backdrop.
    EXPECT_TRUE(std::equal(before->row(2), before->row(2) + before->stride(), held->row(2)));
    canvas->update(doc, frame, style, false);
    const auto after = canvas->render({0, 0, frame.width, frame.height});
    const auto exported = renderer->exportImage({source, doc, draw, std::nullopt, style});
    ASSERT_TRUE(after && exported);
    EXPECT_TRUE(test::samePixels(*after, *exported));
    EXPECT_FALSE(std::equal(before->row(2), before->row(2) + before->stride(), after->row(2)));
}

// Inputs the canvas has not taken (a text committed by Done itself) are drawn afresh.
TEST(FramedCanvas, DoneFromACanvasThatShowsSomethingElseDrawsAfresh) {
    const auto text = std::make_shared<PangoTextEngine>();
    const auto renderer = makeCairoAnnotationEditorRenderer(text);
    const auto source = std::make_shared<const Image>(test::noiseImage(120, 90, 4));
    const Rect draw{0, 0, 120, 90};
    auto canvas = renderer->makeCanvas(source, draw);
    const AnnotationBackgroundStyle style;
    canvas->update({}, AnnotationCanvasFrame::of(120, 90, draw, std::nullopt, style), style, false);
    ASSERT_TRUE(canvas->render({0, 0, 216, 186}));
    auto box = std::make_shared<RectangleAnnotation>(Rect{10, 10, 50, 40}, AnnotationColor::systemRed(), 3.0, false);
    const AnnotationCompositeInputs inputs{source, {box}, draw, std::nullopt, style};
    const auto fresh = renderer->exportImage(inputs);
    const auto done = canvas->exportImage(inputs);
    ASSERT_TRUE(fresh && done);
    EXPECT_TRUE(test::samePixels(*done, *fresh));
    const auto other = std::make_shared<const Image>(test::noiseImage(120, 90, 5));
    const auto ofOther = canvas->exportImage({other, {}, draw, std::nullopt, std::nullopt});
    ASSERT_TRUE(ofOther);
    EXPECT_EQ(ofOther->width(), 120u);  // the other image, not this canvas's frame
}

TEST(RoundedCornerCoverage, FullInsideHalfOnTheArcNoneOutside) {
    const struct {
        uint32_t x, y, width, height;
        double radius;
        int low, high;
    } cases[] = {
        {50, 50, 100, 100, 10, 255, 255},  // the middle
        {0, 0, 100, 100, 10, 0, 0},        // the corner's own pixel lies outside the arc
        {0, 0, 100, 100, 0, 255, 255},     // square corners
        {2, 2, 100, 100, 10, 1, 254},      // on the arc
        {0, 5, 10, 10, 1000, 1, 254},      // a radius past half the side: a circle
    };
    for (const auto& c : cases) {
        const int coverage = roundedCornerCoverage(c.x, c.y, c.width, c.height, c.radius);
        EXPECT_GE(coverage, c.low) << c.x << "," << c.y;
        EXPECT_LE(coverage, c.high) << c.x << "," << c.y;
    }
}

}  // namespace
}  // namespace tessarin
