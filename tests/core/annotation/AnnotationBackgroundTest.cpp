// Background choices and frame geometry: defaults, remembered styles,
// output sizes, corner radii and shadow reach.

#include <gtest/gtest.h>

#include "core/annotation/AnnotationBackground.h"

namespace tessarin {
namespace {

using namespace AnnotationBackgroundFill;

TEST(AnnotationBackgroundChoices, DefaultsAndSwatches) {
    const AnnotationBackgroundStyle style = AnnotationBackgroundDefaults::style();
    EXPECT_EQ(style.fill, (Fill{Gradient{{0.55, 0.36, 0.96, 1}, {0.2, 0.6, 0.95, 1}}}));
    EXPECT_EQ(style.padding, 48);
    EXPECT_EQ(style.cornerRadius, 12);
    EXPECT_EQ(style.shadow, 0.5);
    EXPECT_EQ(annotationBackgroundGradients().size(), 10u);
    EXPECT_EQ(annotationBackgroundGradients().back().end, (AnnotationBackgroundColor{0.78, 0.82, 0.9, 1}));
    EXPECT_EQ(annotationBackgroundSolids().size(), 9u);
    EXPECT_EQ(annotationBackgroundSolids().front(), (AnnotationBackgroundColor{1, 1, 1, 1}));
}

TEST(AnnotationBackgroundChoices, ReplacingTheFillKeepsTheRest) {
    const AnnotationBackgroundStyle current{Solid{}, 7, 3, 0.9};
    EXPECT_EQ(annotationBackgroundWithFill(current, Blur{0.2}), (AnnotationBackgroundStyle{Blur{0.2}, 7, 3, 0.9}));
    const auto fresh = annotationBackgroundWithFill(std::nullopt, Blur{0.2});
    EXPECT_EQ(fresh, (AnnotationBackgroundStyle{Blur{0.2}, 48, 12, 0.5})) << "no background before: the defaults";
    EXPECT_EQ(AnnotationBackgroundStyle{}, AnnotationBackgroundDefaults::style()) << "a default style is the default";
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
        {10, 10, 48, 12, 0, std::nullopt, "no scale"},
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
    EXPECT_EQ(full->blurRadius, 40);
    EXPECT_EQ(full->offset, 12);
    EXPECT_EQ(full->workingScale({100, 50}), 2) << "small images: at most twice";
    EXPECT_DOUBLE_EQ(full->workingScale({1784, 100}), 0.5) << "1024 over the longer side with its reach";
    EXPECT_EQ(AnnotationShadowGeometry::of(0.5)->reach, 66);
}

TEST(AnnotationBackgroundBlur, Radius) {
    EXPECT_EQ(annotationBackdropBlurRadius(0), 4) << "amount 0 blurs with radius 4";
    EXPECT_EQ(annotationBackdropBlurRadius(-1), 4);
    EXPECT_EQ(annotationBackdropBlurRadius(NAN), 4);
    EXPECT_EQ(annotationBackdropBlurRadius(0.5), 24);
    EXPECT_EQ(annotationBackdropBlurRadius(3), 44) << "capped at 1";
}

}  // namespace
}  // namespace tessarin
