// Rendered pixels: what each kind paints, where text lands, the mosaic
// kernels' defining properties, and hostile geometry.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../TestImages.h"
#include "core/annotation/AnnotationSpec.h"
#include "core/annotation/AnnotationTools.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "core/annotation/SegmentAnnotations.h"
#include "render/annotation/AnnotationMosaicRenderer.h"
#include "render/annotation/AnnotationPixelator.h"
#include "render/annotation/AnnotationRenderContext.h"
#include "render/annotation/CairoAnnotationPainter.h"
#include "render/annotation/ImageCompositor.h"
#include "render/annotation/MosaicKernels.h"
#include "render/annotation/PixelBuffer.h"

namespace tessarin {
namespace {

using test::makeImage;
using test::Rgba;

Image flat(uint32_t w, uint32_t h, Rgba c) {
    return makeImage(w, h, [c](uint32_t, uint32_t) { return c; });
}

Rgba at(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.row(y) + size_t{x} * 4;
    return {p[0], p[1], p[2], p[3]};
}
bool operator==(const Rgba& p, const Rgba& q) { return p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a; }

class Render : public ::testing::Test {
protected:
    Image render(const Image& source, const std::string& shapeList) {
        const std::string json = R"({"shapes":[)" + shapeList + "]}";
        const auto spec = AnnotationSpec::decode({reinterpret_cast<const uint8_t*>(json.data()), json.size()});
        const Size size{double(source.width()), double(source.height())};
        auto out = ImageCompositor::composite(source, spec.annotations(size, text), {0, 0, size.width, size.height}, *text);
        EXPECT_TRUE(out.has_value());
        return out ? std::move(*out) : Image();
    }
    // The first and last rows (from the top) that hold a dark pixel.
    static std::pair<int, int> inkRows(const Image& image) {
        int first = -1, last = -1;
        for (uint32_t y = 0; y < image.height(); ++y)
            for (uint32_t x = 0; x < image.width(); ++x)
                if (at(image, x, y).r < 128) {
                    if (first < 0) first = int(y);
                    last = int(y);
                }
        return {first, last};
    }
    std::shared_ptr<PangoTextEngine> text = std::make_shared<PangoTextEngine>();
};

TEST_F(Render, ArrowHeadsAreCappedAt20AndAsWideAsLong) {
    const Image white = flat(200, 100, {255, 255, 255, 255});
    const auto blue = [](const Image& img, uint32_t x, uint32_t y) { return at(img, x, y).r < 128; };
    const Image longArrow = render(white, R"({"type":"arrow","from":[20,50],"to":[120,50],"lineWidth":2,"color":"#0000FF"})");
    EXPECT_TRUE(blue(longArrow, 104, 50 + 8)) << "near its back edge the head is ~20 wide";
    EXPECT_FALSE(blue(longArrow, 104, 50 + 11));
    EXPECT_FALSE(blue(longArrow, 98, 50 + 3)) << "the shaft is 2 wide up to the base, 20 before the tip";
    EXPECT_TRUE(blue(longArrow, 118, 50));
    EXPECT_FALSE(blue(longArrow, 122, 50));
    const Image shortArrow = render(white, R"({"type":"arrow","from":[20,50],"to":[30,50],"lineWidth":2,"color":"#0000FF"})");
    EXPECT_TRUE(blue(shortArrow, 22, 50 + 3)) << "a 10-long arrow has a 10-wide head";
    EXPECT_FALSE(blue(shortArrow, 22, 50 + 6));
    EXPECT_TRUE(test::samePixels(render(white, R"({"type":"arrow","from":[20,50],"to":[20,50]})"), white)) << "length 0 draws nothing";
}

TEST_F(Render, FillsHighlightsAndBlackOut) {
    const Image blueImage = flat(40, 40, {0, 0, 255, 255});
    for (const char* color : {"#FFFF00", "#FFFF0080"}) {
        const Image out = render(blueImage, std::string(R"({"type":"highlight","x":10,"y":10,"w":10,"h":10,"color":")") + color + "\"}");
        const Rgba p = at(out, 15, 15);
        EXPECT_NEAR(p.r, 0.35 * 255, 1) << color;
        EXPECT_NEAR(p.b, 0.65 * 255, 1) << color;
        EXPECT_EQ(at(out, 5, 5).r, 0) << "nothing outside";
    }
    const Image black = render(test::noiseImage(64, 48, 3), R"({"type":"blur","style":"blackOut","x":8,"y":8,"w":20,"h":10})");
    for (uint32_t y = 8; y < 18; ++y)
        for (uint32_t x = 8; x < 28; ++x) ASSERT_TRUE(at(black, x, y) == (Rgba{0, 0, 0, 255})) << x << "," << y;
    const Image box = render(blueImage, R"({"type":"box","x":10,"y":10,"w":20,"h":20,"filled":true,"color":"#FF000080"})");
    EXPECT_NEAR(at(box, 20, 20).r, 128, 1);
    EXPECT_NEAR(at(box, 20, 20).b, 127, 1);
}

TEST_F(Render, NothingVisibleLeavesTheImageAsItWas) {
    const Image translucent = test::noiseImage(50, 40, 9, false);
    EXPECT_TRUE(test::samePixels(render(translucent, ""), translucent));
    auto hidden = std::make_shared<PixelateAnnotation>(Rect{0, 0, 50, 40}, AnnotationMosaicEffect::blackOut, 12);
    hidden->setHidden(true);
    const auto out = ImageCompositor::composite(translucent, {hidden}, {0, 0, 50, 40}, *text);
    EXPECT_TRUE(out && test::samePixels(*out, translucent));
    EXPECT_FALSE(ImageCompositor::composite(translucent, {hidden}, {0, 0, 0, 40}, *text));
    // Beside a visible shape, the hidden black-out still paints nothing.
    const Image opaque = test::noiseImage(50, 40, 9);
    const auto corner = std::make_shared<RectangleAnnotation>(Rect{0, 0, 4, 4}, AnnotationColor::black(), 1, true);
    const auto mixed = ImageCompositor::composite(opaque, {hidden, corner}, {0, 0, 50, 40}, *text);
    EXPECT_TRUE(mixed && at(*mixed, 25, 20) == at(opaque, 25, 20) && at(*mixed, 1, 38) == (Rgba{0, 0, 0, 255}));
}

TEST_F(Render, MosaicBoxesDrawOnlyOverTheImage) {
    const Image noise = test::noiseImage(80, 60, 5);
    const Image half = render(noise, R"({"type":"blur","x":-40,"y":-30,"w":80,"h":60},
                                         {"type":"blur","x":60,"y":40,"w":500,"h":500,"style":"secureBlur"})");
    int changed = 0;
    for (uint32_t y = 0; y < 60; ++y) {
        for (uint32_t x = 0; x < 80; ++x) {
            const bool differs = at(half, x, y) != at(noise, x, y);
            ASSERT_TRUE(!differs || (x < 40 && y < 30) || (x >= 60 && y >= 40)) << x << "," << y;
            changed += differs;
        }
    }
    EXPECT_GT(changed, 1000);
    // The processed pixels land the right way up and in place.
    const Image split = makeImage(96, 96, [](uint32_t x, uint32_t y) {
        return y < 40 || x < 30 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
    });
    for (const char* style : {"pixelate", "secureBlur", "smoothBlur"}) {
        const Image out = render(split, std::string(R"({"type":"blur","x":0,"y":0,"w":96,"h":96,"style":")") + style + "\"}");
        EXPECT_LT(at(out, 80, 2).r, 40) << style;
        EXPECT_GT(at(out, 80, 93).r, 215) << style;
        EXPECT_LT(at(out, 2, 80).r, 40) << style;
    }
}

TEST_F(Render, HostileGeometryIsClippedNotAllocated) {
    const Image white = flat(120, 80, {255, 255, 255, 255});
    std::string manyLines;
    for (int i = 0; i < 100000; ++i) manyLines += "\\n";
    const Image out = render(white, R"(
        {"type":"line","from":[-1e300,40],"to":[1e300,40],"lineWidth":1e308,"color":"#00FF00"},
        {"type":"circle","x":-1e7,"y":-1e7,"w":2e7,"h":2e7,"filled":true,"color":"#0000FF"},
        {"type":"box","x":-1e9,"y":-1e9,"w":3e9,"h":3e9,"lineWidth":-5},
        {"type":"text","x":1e300,"y":5,"text":"far","fontSize":1e300},
        {"type":"text","x":5,"y":5,"text":"negative","fontSize":-3},
        {"type":"number","x":60,"y":40,"n":9223372036854775807,"size":1e12},
        {"type":"ellipse","x":-1e306,"y":-1e306,"w":1e306,"h":1e306},
        {"type":"text","x":0,"y":0,"text":")" + manyLines + R"("},
        {"type":"text","x":0,"y":0,"width":50,"text":")" + std::string(1 << 20, 'w') + R"("},
        {"type":"blur","x":1e300,"y":-1e300,"w":1e300,"h":1e300,"style":"smoothBlur"},
        {"type":"blur","x":-1e308,"y":-1e308,"w":1.7e308,"h":1.7e308,"style":"blackOut"})");
    ASSERT_EQ(out.width(), 120u);
    EXPECT_TRUE(at(out, 0, 0) == (Rgba{0, 0, 0, 255}) && at(out, 119, 79) == (Rgba{0, 0, 0, 255}))
        << "the enormous black-out, drawn last, covers the whole image";
}

TEST_F(Render, TextKeepsItsTopEdgeWhateverTheLineCount) {
    const auto rows = [&](const std::string& fields) {
        return inkRows(render(flat(300, 200, {255, 255, 255, 255}), R"({"type":"text","x":10,"y":40,"fontSize":24,"color":"#000000",)" + fields + "}"));
    };
    const auto one = rows(R"("text":"HX")"), three = rows(R"("text":"HX\nHX\nHX")");
    ASSERT_GE(one.first, 40);
    EXPECT_LE(one.first, 40 + 12) << "the cap height starts a little below y";
    EXPECT_NEAR(three.first, one.first, 1);
    EXPECT_GT(three.second - one.second, 2 * 24) << "two more lines, each at least a font size tall";
    const auto wrapped = rows(R"("text":"HX HX HX HX","width":60)");
    EXPECT_NEAR(wrapped.first, one.first, 1);
    EXPECT_GT(wrapped.second - one.second, 2 * 24) << "wrapped to several lines";
}

TEST_F(Render, NumberBadges) {
    const Image white = flat(100, 100, {255, 255, 255, 255});
    const Image badge = render(white, R"({"type":"number","x":50,"y":50,"n":7,"color":"#0000FF"})");
    EXPECT_LT(at(badge, 50, 50 + 15).r, 64) << "filled circle of diameter 36";
    EXPECT_EQ(at(badge, 50 + 17, 50 + 17).r, 255) << "the square's corner stays clear";
    int digit = 0;
    for (uint32_t y = 42; y < 58; ++y)
        for (uint32_t x = 44; x < 56; ++x) digit += at(badge, x, y).b > 200 && at(badge, x, y).r > 200;
    EXPECT_GT(digit, 10) << "the digit is white";
}

TEST_F(Render, APathLeftInTheContextIsNeverJoinedToTheNextShape) {
    // Every kind, drawn in the right half after something left a path and a
    // current point in the left half (as text drawing once did).
    const AnnotationColor red{1, 0, 0, 1};
    const AnnotationPtr kinds[] = {
        std::make_shared<ArrowAnnotation>(Point{120, 20}, Point{180, 60}, red, 3),
        std::make_shared<LineAnnotation>(Point{120, 60}, Point{180, 20}, red, 3),
        std::make_shared<NumberAnnotation>(4, Point{150, 40}, red, 30, true),
        std::make_shared<NumberAnnotation>(5, Point{150, 40}, red, 30, false),
        std::make_shared<RectangleAnnotation>(Rect{120, 20, 60, 40}, red, 3, false),
        std::make_shared<CircleAnnotation>(Rect{120, 20, 60, 40}, red, 3, false),
        std::make_shared<FreehandAnnotation>(std::vector<Point>{{120, 20}, {150, 60}, {180, 20}}, red, 3),
        std::make_shared<HighlighterAnnotation>(Rect{120, 20, 60, 40}, red),
        std::make_shared<PixelateAnnotation>(Rect{120, 20, 60, 40}, AnnotationMosaicEffect::pixelate, 12),
        std::make_shared<TextAnnotation>("Hi", Point{120, 20}, 20, red, std::nullopt, text),
    };
    for (const auto& shape : kinds) {
        const CairoSurfacePtr surface = makeSurface(200, 80);
        const CairoPtr cr(cairo_create(surface.get()));
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_translate(cr.get(), 0, 80);
        cairo_scale(cr.get(), 1, -1);
        CairoAnnotationPainter painter(cr.get(), *text, {0, 0, 200, 80});
        cairo_move_to(cr.get(), 10, 10);
        cairo_line_to(cr.get(), 40, 70);
        shape->draw(painter);
        const auto out = straightImage(surface.get());
        bool reachedRight = false;
        for (uint32_t y = 0; y < 80; ++y) {
            for (uint32_t x = 0; x < 200; ++x) {
                const bool painted = at(*out, x, y).g < 250;
                ASSERT_TRUE(!painted || x >= 110) << AnnotationTools::title(shape->toolType()) << " at " << x << "," << y;
                reachedRight |= painted;
            }
        }
        EXPECT_TRUE(reachedRight) << AnnotationTools::title(shape->toolType());
    }
}

PixelView viewOfImage(const CairoSurfacePtr& surface) { return viewOf(surface.get()); }

TEST(MosaicKernels, DefiningProperties) {
    // Flat stays flat, for every effect.
    const Image grey = flat(90, 70, {100, 150, 200, 255});
    for (const auto effect : {AnnotationMosaicEffect::pixelate, AnnotationMosaicEffect::secureBlur,
                              AnnotationMosaicEffect::smoothBlur}) {
        const auto out = straightImage(AnnotationMosaicRenderer::renderedImage(grey, effect, 12, {5, 5, 60, 50}).get());
        ASSERT_TRUE(out);
        for (uint32_t y = 0; y < out->height(); ++y)
            for (uint32_t x = 0; x < out->width(); ++x) ASSERT_EQ(at(*out, x, y).g, 150);
    }
    // Block means, on a grid with a block centred on the image: 10 wide, blocks of 4 -> [0,3) [3,7) [7,10).
    const Image ramp = makeImage(10, 1, [](uint32_t x, uint32_t) { return Rgba{uint8_t(x * 10), 0, 0, 255}; });
    const auto whole = premultipliedSurface(ramp);
    const auto out = makeSurface(10, 1);
    MosaicKernels::pixelate({viewOfImage(whole), 0, 0, 10, 1}, 4, viewOfImage(out), 0, 0);
    const auto px = straightImage(out.get());
    const uint8_t expected[] = {10, 10, 10, 45, 45, 45, 45, 80, 80, 80};
    for (uint32_t x = 0; x < 10; ++x) EXPECT_EQ(at(*px, x, 0).r, expected[x]) << x;
    // The software pixelator: 2 x 1 blocks of 5.
    const auto soft = straightImage(AnnotationPixelator::pixelatedImage(viewOfImage(whole), 5).get());
    EXPECT_EQ(at(*soft, 0, 0).r, 20);
    EXPECT_EQ(at(*soft, 9, 0).r, 70);
}

TEST(MosaicKernels, BlurSpreadsAnEdgeByItsRadiusAndRegionsMatchTheWholeImage) {
    const Image edge = makeImage(200, 20, [](uint32_t x, uint32_t) {
        return x < 100 ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
    });
    for (const double sigma : {3.0, 12.0}) {
        const auto surface = premultipliedSurface(edge);
        MosaicKernels::gaussianBlur(viewOf(surface.get()), sigma);
        const auto out = straightImage(surface.get());
        int low = -1, high = -1;
        for (uint32_t x = 0; x < 200; ++x) {
            if (low < 0 && at(*out, x, 10).r >= 26) low = int(x);
            if (high < 0 && at(*out, x, 10).r >= 230) high = int(x);
        }
        // A Gaussian takes 2.56 sigma to rise from 10% to 90%.
        EXPECT_NEAR(high - low, 2.56 * sigma, 0.2 * 2.56 * sigma + 1) << sigma;
        EXPECT_EQ(at(*out, 0, 0).r, 0) << "edges are clamped, not darkened or lightened";
        EXPECT_EQ(at(*out, 199, 19).r, 255);
    }
    const Image noise = test::noiseImage(120, 90, 11);
    for (const auto effect : {AnnotationMosaicEffect::pixelate, AnnotationMosaicEffect::secureBlur,
                              AnnotationMosaicEffect::smoothBlur}) {
        const auto all = AnnotationMosaicRenderer::renderedImage(noise, effect, 9, {0, 0, 120, 90});
        const auto part = AnnotationMosaicRenderer::renderedImage(noise, effect, 9, {70, 10, 30, 40});
        const PixelView a = viewOf(all.get()), b = viewOf(part.get());
        // Region y counts from the bottom: rows 90-50 .. 90-10 from the top.
        for (uint32_t y = 0; y < 40; ++y) ASSERT_EQ(std::memcmp(b.row(y), a.row(40 + y) + 70 * 4, 30 * 4), 0) << int(effect);
    }
    EXPECT_FALSE(AnnotationMosaicRenderer::renderedImage(noise, AnnotationMosaicEffect::blackOut, 9, {0, 0, 10, 10}));
}

TEST(MosaicKernels, RegionsAreClippedToWholePixelsInsideTheImage) {
    const Image noise = test::noiseImage(100, 100, 2);
    AnnotationRenderContext context(noise, {0, 0, 100, 100});
    const auto region = context.mosaicRegionImage(AnnotationMosaicEffect::smoothBlur, 0.2, {-5.5, 90.5, 20, 20});
    EXPECT_TRUE(region && region->drawRect == (Rect{0, 90, 15, 10}));
}

}  // namespace
}  // namespace tessarin
