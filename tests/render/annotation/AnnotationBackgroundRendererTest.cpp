// The background frame in pixels, the blurred backdrop, pictures from files and the finished export.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../TestImages.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"
#include "render/annotation/AnnotationBackgroundRenderer.h"
#include "render/annotation/AnnotationExportPipeline.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

using namespace AnnotationBackgroundFill;
namespace R = AnnotationBackgroundRenderer;
using test::makeImage;
using test::Rgba;

Image plain(uint32_t w, uint32_t h, Rgba c) {
    return makeImage(w, h, [&](uint32_t, uint32_t) { return c; });
}

Rgba at(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.row(y) + size_t{x} * 4;
    return {p[0], p[1], p[2], p[3]};
}

bool near(Rgba a, Rgba b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance &&
           std::abs(a.a - b.a) <= tolerance;
}

AnnotationBackgroundStyle flat(Fill fill, double padding = 5, double radius = 0, double shadow = 0) {
    return {std::move(fill), padding, radius, shadow};
}

const Rgba red{255, 0, 0, 255};
const Rgba blue{0, 0, 255, 255};
const Rgba white{255, 255, 255, 255};

// Sizes at every scale are AnnotationBackgroundLayout's; here the pixels.
TEST(AnnotationBackgroundFrame, SolidFillAroundTheImage) {
    const auto out = R::framed(plain(20, 10, red), flat(Solid{{0, 0, 1, 1}}), 1, nullptr, nullptr);
    ASSERT_TRUE(out);
    EXPECT_TRUE(near(at(*out, 4, 5), blue)) << "just left of the image";
    EXPECT_TRUE(near(at(*out, 5, 5), red)) << "the image's corner, square";
    EXPECT_TRUE(near(at(*out, 24, 14), red));
    EXPECT_TRUE(near(at(*out, 25, 14), blue));
}

TEST(AnnotationBackgroundFrame, GradientRunsFromTopLeftToBottomRight) {
    const auto out = R::framed(plain(10, 10, red), flat(Gradient{{1, 1, 1, 1}, {0, 0, 0, 1}}, 20), 1, nullptr, nullptr);
    ASSERT_TRUE(out);
    EXPECT_GT(at(*out, 0, 0).g, 240);
    EXPECT_LT(at(*out, 49, 49).g, 15);
    EXPECT_NEAR(at(*out, 49, 0).g, 128, 6) << "the other corners lie half way";
}

TEST(AnnotationBackgroundFrame, CornersAreRoundedAndNeverDistorted) {
    const auto rounded = R::framed(plain(20, 10, red), flat(Solid{{0, 0, 1, 1}}, 5, 4), 1, nullptr, nullptr);
    ASSERT_TRUE(rounded);
    EXPECT_TRUE(near(at(*rounded, 5, 5), blue)) << "the corner pixel is cut off";
    EXPECT_TRUE(near(at(*rounded, 15, 10), red));
    const auto pill = R::framed(plain(20, 10, red), flat(Solid{{0, 0, 1, 1}}, 5, 100), 1, nullptr, nullptr);
    ASSERT_TRUE(pill);
    EXPECT_TRUE(near(at(*pill, 5, 10), red, 100)) << "a radius past half the side: a round end, touching the edge";
    EXPECT_TRUE(near(at(*pill, 5, 5), blue, 30)) << "the corner: background";
    EXPECT_TRUE(near(at(*pill, 15, 5), red)) << "the straight middle";
}

TEST(AnnotationBackgroundFrame, ShadowDarkensBelowMoreThanAbove) {
    const Image image = plain(40, 40, red);
    const AnnotationBackgroundStyle style = flat(Solid{{1, 1, 1, 1}}, 40, 0, 1);
    const auto shadow = R::shadowImage({40, 40}, style);
    ASSERT_TRUE(shadow);
    EXPECT_EQ(shadow->reach, 132);
    const auto out = R::framed(image, style, 1, nullptr, &*shadow);
    ASSERT_TRUE(out);
    const Rgba below = at(*out, 60, 85), above = at(*out, 60, 35);
    EXPECT_LT(below.g, above.g) << "offset downward";
    EXPECT_LT(below.g, 250) << "a visible shadow";

    EXPECT_FALSE(R::shadowImage({40, 40}, flat(Solid{}, 40, 0, 0))) << "shadow 0: none";
    const auto none = R::framed(image, flat(Solid{{1, 1, 1, 1}}, 40), 1, nullptr, nullptr);
    EXPECT_TRUE(near(at(*none, 60, 85), white, 0)) << "no shadow, plain fill";
}

TEST(AnnotationBackgroundFrame, PreviewIsTheFrameWithoutTheImage) {
    const Image image = plain(40, 30, red);
    const AnnotationBackgroundStyle style = flat(Gradient{{1, 1, 1, 1}, {0, 0, 1, 1}}, 12, 6, 0.7);
    const auto shadow = R::shadowImage({40, 30}, style);
    const auto full = R::framed(image, style, 1, nullptr, &*shadow);
    const auto preview = R::framePreview(40, 30, style, 1, nullptr, &*shadow);
    ASSERT_TRUE(full && preview);
    ASSERT_EQ(preview->width(), full->width());
    for (const auto& [x, y] : {std::pair{0u, 0u}, {63u, 53u}, {20u, 50u}, {5u, 30u}}) {
        EXPECT_TRUE(near(at(*preview, x, y), at(*full, x, y), 0)) << "outside the image: " << x << "," << y;
    }
    EXPECT_FALSE(near(at(*preview, 30, 25), red, 60)) << "no image in the preview";
}

TEST(AnnotationBackgroundFrame, BlurFillUsesTheBackdropOrGrey) {
    const auto grey = R::framed(plain(10, 10, red), flat(Blur{0.5}), 1, nullptr, nullptr);
    ASSERT_TRUE(grey);
    EXPECT_TRUE(near(at(*grey, 0, 0), {115, 115, 115, 255}, 1)) << "no backdrop: white level 0.45";
    const Image backdrop = plain(4, 4, {0, 200, 0, 255});
    const auto green = R::framed(plain(10, 10, red), flat(Blur{0.5}), 1, &backdrop, nullptr);
    EXPECT_TRUE(near(at(*green, 0, 0), {0, 200, 0, 255}));
}

TEST(AnnotationBackgroundFrame, PictureFillCoversTheOutput) {
    const Image left = makeImage(40, 10, [](uint32_t x, uint32_t) { return x < 20 ? red : blue; });
    const auto picture = std::make_shared<const Image>(left.clone());
    const auto out = R::framed(plain(10, 10, white), flat(Picture{{picture, "p.png"}}, 5), 1, nullptr, nullptr);
    ASSERT_TRUE(out);
    EXPECT_TRUE(near(at(*out, 1, 1), red, 4)) << "aspect-filled: the middle of a wide picture, left half red";
    EXPECT_TRUE(near(at(*out, 18, 18), blue, 4));
}

TEST(AnnotationBackgroundBackdrop, DownscaledBlurredAndCropped) {
    const Image wide = test::gradientImage(2000, 1000);
    const auto backdrop = R::blurredBackdrop(wide, std::nullopt, {0, 0, 1000, 500}, 0);
    ASSERT_TRUE(backdrop);
    EXPECT_EQ(std::pair(backdrop->width(), backdrop->height()), std::pair(512u, 256u));
    const auto cut = R::blurredBackdrop(wide, Rect{0, 250, 100, 250}, {0, 0, 1000, 500}, 1);
    ASSERT_TRUE(cut);
    EXPECT_EQ(std::pair(cut->width(), cut->height()), std::pair(200u, 500u)) << "the crop's pixels: 2 per point";
    EXPECT_FALSE(R::blurredBackdrop(wide, std::nullopt, {0, 0, 0, 500}, 1)) << "no draw width";
}

TEST(AnnotationBackgroundBackdrop, DownscaleAveragesAndIgnoresTransparentColour) {
    const Image checks = makeImage(4, 4, [](uint32_t x, uint32_t y) { return (x + y) % 2 ? white : Rgba{0, 0, 0, 255}; });
    const auto small = R::downscaled(checks, 2, 2);
    ASSERT_TRUE(small);
    EXPECT_TRUE(near(at(*small, 1, 1), {128, 128, 128, 255}, 1));
    const Image half = makeImage(2, 1, [](uint32_t x, uint32_t) { return x ? Rgba{0, 0, 0, 0} : red; });
    EXPECT_TRUE(near(at(*R::downscaled(half, 1, 1), 0, 0), {255, 0, 0, 128}, 1)) << "transparent lends no black";
    EXPECT_FALSE(R::downscaled(checks, 5, 1)) << "no upscaling";
    EXPECT_EQ(R::blurPreview(test::gradientImage(300, 100), 60)->width(), 60u);
}

TEST(AnnotationBackgroundCache, ReusesUntilTheKeyChanges) {
    AnnotationBackgroundBitmapCache cache;
    AnnotationBackgroundStyle style = flat(Solid{}, 10, 4, 0.5);
    ASSERT_TRUE(cache.shadow({50, 50}, style));
    style.padding = 30;  // padding is not part of the shadow
    cache.shadow({50, 50}, style);
    EXPECT_EQ(cache.shadowsMade(), 1);
    style.cornerRadius = 8;
    cache.shadow({50, 50}, style);
    EXPECT_EQ(cache.shadowsMade(), 2);

    int sourcesMade = 0;
    const auto source = [&] {
        ++sourcesMade;
        return std::optional<Image>(plain(20, 20, red));
    };
    ASSERT_TRUE(cache.backdrop(1, std::nullopt, {0, 0, 20, 20}, 0.5, source));
    cache.backdrop(1, std::nullopt, {0, 0, 20, 20}, 0.5, source);
    EXPECT_EQ(sourcesMade, 1) << "same key: neither remade nor its source recomposited";
    cache.backdrop(2, std::nullopt, {0, 0, 20, 20}, 0.5, source);
    cache.backdrop(2, std::nullopt, {0, 0, 20, 20}, 0.7, source);
    EXPECT_EQ(cache.backdropsMade(), 3);
}

TEST(AnnotationBackgroundPicture, DecodedThroughTheDecoderAndReduced) {
    const testing::TempDir dir;
    test::writeFile(dir / "big.png", test::pngOf(test::gradientImage(400, 300)));
    const auto picture = R::loadPicture(dir / "big.png", 100, 100);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image->width(), 134u) << "just covers 100 x 100 when aspect-filled";
    EXPECT_EQ(picture->image->height(), 100u);
    EXPECT_EQ(R::loadPicture(dir / "big.png", 1000, 1000)->image->width(), 400u) << "never enlarged";

    test::writeFile(dir / "bad.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
    const auto bad = R::loadPicture(dir / "bad.png", 100, 100);
    EXPECT_TRUE(!bad && !bad.error().message.empty());
}

TEST(AnnotationExport, CropThenFrame) {
    const Image source = plain(200, 100, red);
    PangoTextEngine text;
    AnnotationExportInputs in{&source, {}, {0, 0, 100, 50}, Rect{0, 0, 50, 25}, std::nullopt};
    const auto cropped = AnnotationExportPipeline::render(in, text);
    ASSERT_TRUE(cropped);
    EXPECT_EQ(std::pair(cropped->width(), cropped->height()), std::pair(100u, 50u)) << "crop in points, cut in pixels";
    in.background = flat(Solid{{0, 0, 1, 1}}, 10);
    const auto framed = AnnotationExportPipeline::render(in, text);
    ASSERT_TRUE(framed);
    EXPECT_EQ(framed->width(), 140u);
    EXPECT_TRUE(near(at(*framed, 0, 0), blue));
    EXPECT_TRUE(near(at(*framed, 70, 45), red));
}

TEST(AnnotationExport, BlurredBackdropShowsNothingTheMosaicsHide) {
    const Image source = plain(100, 100, white);
    PangoTextEngine text;
    const std::vector<AnnotationPtr> hidden = {
        std::make_shared<PixelateAnnotation>(Rect{0, 0, 100, 100}, AnnotationMosaicEffect::blackOut, 12)};
    AnnotationExportInputs in{&source, hidden, {0, 0, 100, 100}, std::nullopt, flat(Blur{0.5}, 20)};
    const auto out = AnnotationExportPipeline::render(in, text);
    ASSERT_TRUE(out);
    EXPECT_LT(at(*out, 2, 2).r, 20) << "the padding is blurred from the blacked-out image, not the white source";

    hidden[0]->setHidden(true);
    const auto shown = AnnotationExportPipeline::render(in, text);
    EXPECT_GT(at(*shown, 2, 2).r, 235) << "a hidden box hides nothing";
}

TEST(AnnotationExport, FailuresNameTheirStep) {
    PangoTextEngine text;
    const Image source = plain(10, 10, red);
    const auto none = AnnotationExportPipeline::render({nullptr, {}, {0, 0, 10, 10}, {}, {}}, text);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().step, AnnotationExportError::Step::composite);
    EXPECT_FALSE(AnnotationExportPipeline::render({&source, {}, {0, 0, 0, 10}, {}, {}}, text));
    const auto huge =
        AnnotationExportPipeline::render({&source, {}, {0, 0, 10, 10}, {}, flat(Solid{}, 40000)}, text);
    ASSERT_FALSE(huge);
    EXPECT_EQ(huge.error().step, AnnotationExportError::Step::frame);
}

}  // namespace
}  // namespace tessarin
