// Background choices and frame geometry: replacing a fill,
// output sizes, corner radii and shadow reach.

#include <gtest/gtest.h>

#include "core/annotation/AnnotationBackground.h"
#include "core/annotation/AnnotationCanvasFrame.h"

namespace tessarin {
namespace {

using namespace AnnotationBackgroundFill;

TEST(AnnotationBackgroundChoices, ReplacingTheFillKeepsTheRest) {
    const AnnotationBackgroundStyle current{Solid{}, 7, 3, 0.9};
    EXPECT_EQ(annotationBackgroundWithFill(current, Blur{0.2}), (AnnotationBackgroundStyle{Blur{0.2}, 7, 3, 0.9}));
    const auto fresh = annotationBackgroundWithFill(std::nullopt, Blur{0.2});
    EXPECT_EQ(fresh, (AnnotationBackgroundStyle{Blur{0.2}, 48, 12, 0.5})) << "no background before: the defaults";
}

TEST(AnnotationBackgroundLayout, Sizes) {
    const struct {
        uint32_t w, h;
        double padding, radius, p;
        std::optional<AnnotationBackgroundLayout> want;
        const char* why;
    } cases[] = {
        {200, 100, 48, 12, 2, AnnotationBackgroundLayout{96, 392, 292, {96, 96, 200, 100}, 24}, "padding 48 at 2x adds 96"},
        {200, 100, 48, 500, 1, AnnotationBackgroundLayout{48, 296, 196, {48, 48, 200, 100}, 50}, "radius: half the shorter side"},
        {10, 10, 0.25, 0, 1, AnnotationBackgroundLayout{0, 10, 10, {0, 0, 10, 10}, 0}, "padding rounds to nothing"},
        {10, 10, 0.5, 0, 1, AnnotationBackgroundLayout{1, 12, 12, {1, 1, 10, 10}, 0}, "half away from zero"},
        {10, 10, -5, -3, 1, AnnotationBackgroundLayout{0, 10, 10, {0, 0, 10, 10}, 0}, "negative values frame nothing"},
        {0, 10, 48, 12, 1, std::nullopt, "no image"},
        {30000, 10, 2000, 12, 1, std::nullopt, "wider than a surface"},
        {10, 10, 1e300, 12, 1e10, std::nullopt, "absurd padding"},
    };
    for (const auto& c : cases) {
        AnnotationBackgroundStyle style;
        style.padding = c.padding;
        style.cornerRadius = c.radius;
        EXPECT_EQ(AnnotationBackgroundLayout::of(c.w, c.h, style, c.p), c.want) << c.why;
    }
}

TEST(AnnotationBackgroundShadowGeometry, ReachAndScale) {
    EXPECT_FALSE(AnnotationShadowGeometry::of(0)) << "shadow 0: none";
    EXPECT_FALSE(AnnotationShadowGeometry::of(NAN));
    const auto full = AnnotationShadowGeometry::of(1);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->reach, 132) << "shadow 1 reaches 132 points";
    EXPECT_EQ(full->workingScale({100, 50}), 2) << "small images: at most twice";
    EXPECT_DOUBLE_EQ(full->workingScale({1784, 100}), 0.5) << "1024 over the longer side with its reach";
    EXPECT_EQ(AnnotationShadowGeometry::of(0.5)->reach, 66);
}

TEST(AnnotationBackgroundBlur, Radius) {
    EXPECT_EQ(annotationBackdropBlurRadius(0), 4) << "amount 0 blurs with radius 4";
    EXPECT_EQ(annotationBackdropBlurRadius(NAN), 4);
    EXPECT_EQ(annotationBackdropBlurRadius(0.5), 24);
    EXPECT_EQ(annotationBackdropBlurRadius(3), 44) << "capped at 1";
}

// What the canvas shows: the crop's pixels inside the frame.
TEST(AnnotationCanvasFrame, CropAndPaddingPlaceTheImage) {
    const AnnotationBackgroundStyle style{AnnotationBackgroundFill::Solid{}, 48, 12, 0};
    const struct {
        const char* name;
        Rect drawRect;
        std::optional<Rect> crop;
        std::optional<AnnotationBackgroundStyle> background;
        PixelRect content;
        uint32_t width, height;
        int64_t offsetX, offsetY;
    } cases[] = {
        {"the plain image", {0, 0, 200, 100}, {}, {}, {0, 0, 200, 100}, 200, 100, 0, 0},
        {"framed", {0, 0, 200, 100}, {}, style, {0, 0, 200, 100}, 296, 196, 48, 48},
        // Drawing space grows upward: the crop's top is 100 - 80 = 20 pixel rows down.
        {"cropped", {0, 0, 200, 100}, Rect{20, 30, 100, 50}, {}, {20, 20, 100, 50}, 100, 50, -20, -20},
        {"cropped and framed", {0, 0, 200, 100}, Rect{20, 30, 100, 50}, style, {20, 20, 100, 50}, 196, 146, 28, 28},
        // As the export cuts it: never empty, never outside the image.
        {"a crop beyond the image keeps its nearest pixels", {0, 0, 200, 100}, Rect{500, 500, 10, 10}, {},
         {199, 0, 1, 10}, 1, 10, -199, 0},
    };
    for (const auto& c : cases) {
        const auto frame = AnnotationCanvasFrame::of(200, 100, c.drawRect, c.crop, c.background);  // all 200 x 100 pixels
        EXPECT_EQ(frame.content, c.content) << c.name;
        EXPECT_EQ(std::tie(frame.width, frame.height, frame.offsetX, frame.offsetY),
                  std::tie(c.width, c.height, c.offsetX, c.offsetY))
            << c.name;
    }
}

// The blend that puts the image into its frame: opaque pixels replace the
// frame's, translucent ones mix with it, the corners fade.
TEST(AnnotationCanvasFrame, BlendingIntoTheFrame) {
    auto image = *Image::allocate(20, 10);
    auto frame = *Image::allocate(24, 14);
    for (size_t i = 0; i < frame.byteCount(); i += 4) frame.data()[i] = 200, frame.data()[i + 3] = 255;  // opaque red
    for (size_t i = 0; i < image.byteCount(); i += 4) image.data()[i + 2] = 255, image.data()[i + 3] = 255;  // blue
    image.row(5)[10 * 4 + 3] = 0;      // one clear pixel
    image.row(6)[10 * 4 + 3] = 128;    // one half-clear pixel
    blendIntoFrame(image, {0, 0, 20, 10}, 4, frame, 2, 2);
    auto at = [&](uint32_t x, uint32_t y) { return frame.row(y) + size_t{x} * 4; };
    EXPECT_EQ(at(2 + 10, 2 + 2)[2], 255);  // the image
    EXPECT_EQ(at(2 + 10, 2 + 5)[0], 200);  // the frame through the clear pixel
    EXPECT_EQ(at(2 + 10, 2 + 5)[2], 0);
    EXPECT_NEAR(at(2 + 10, 2 + 6)[2], 128, 1);  // half and half
    EXPECT_NEAR(at(2 + 10, 2 + 6)[0], 100, 1);
    EXPECT_EQ(at(2, 2)[0], 200);  // the rounded corner leaves the frame
    EXPECT_EQ(at(0, 0)[0], 200);  // outside the image's place: untouched
}

}  // namespace
}  // namespace tessarin
