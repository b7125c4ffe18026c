// Cropping: presets and their ratios, reshaping by handle and ratio,
// conversion to source pixels, the session's drags and its overlay.

#include <gtest/gtest.h>

#include <cmath>

#include "core/annotation/AnnotationCrop.h"

namespace tessarin {
namespace {

using H = AnnotationCropHandle;
namespace G = AnnotationCropGeometry;

void expectNear(const Rect& got, const Rect& want, const std::string& why) {
    EXPECT_NEAR(got.x, want.x, 1e-9) << why;
    EXPECT_NEAR(got.y, want.y, 1e-9) << why;
    EXPECT_NEAR(got.width, want.width, 1e-9) << why;
    EXPECT_NEAR(got.height, want.height, 1e-9) << why;
}

TEST(AnnotationCropPresets, AspectRatios) {
    const struct {
        AnnotationCropPreset preset;
        Size image;
        std::optional<double> ratio;
    } cases[] = {
        {AnnotationCropPreset::ratio(16, 9), {100, 100}, 16.0 / 9},
        {AnnotationCropPreset::pixels(1200, 630), {1, 1}, 1200.0 / 630},
        {AnnotationCropPreset::ratio(4, 0), {100, 100}, std::nullopt},
        {AnnotationCropPreset::originalRatio(), {300, 200}, 1.5},
        {AnnotationCropPreset::originalRatio(), {300, 0}, std::nullopt},
        {AnnotationCropPreset::freeform(), {300, 200}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.preset.aspectRatio(c.image), c.ratio) << c.preset.title();
}

TEST(AnnotationCropGeometry, ResizingFreely) {
    const Rect bounds{0, 0, 400, 300};
    const Rect r{100, 100, 200, 100};
    const struct {
        H handle;
        double dx, dy;
        Rect want;
        const char* why;
    } cases[] = {
        {H::right, 50, 0, {100, 100, 250, 100}, "right edge out"},
        {H::right, 500, 0, {100, 100, 300, 100}, "clamped to the bounds"},
        {H::left, 500, 0, {280, 100, 20, 100}, "past the opposite edge stops 20 short"},
        {H::topLeft, 500, -500, {280, 100, 20, 20}, "a corner past the opposite corner stops 20 short both ways"},
        {H::top, 0, 1000, {100, 100, 200, 200}, "top edge clamped to the bounds"},
        {H::bottom, 0, NAN, {100, 100, 200, 100}, "a delta that is not a number moves nothing"},
    };
    for (const auto& c : cases) expectNear(G::resized(r, c.handle, c.dx, c.dy, std::nullopt, bounds), c.want, c.why);
}

TEST(AnnotationCropGeometry, ResizingWithARatio) {
    const Rect bounds{0, 0, 400, 300};
    const Rect r{100, 100, 100, 100};
    const struct {
        H handle;
        double dx, dy, ratio;
        Rect want;
        const char* why;
    } cases[] = {
        {H::bottomRight, 100, 0, 1, {100, 100, 100, 100}, "a corner keeps the limiting side"},
        {H::bottomRight, 100, -100, 1, {100, 0, 200, 200}, "anchored at the opposite (top-left) corner"},
        {H::topRight, 300, 300, 2, {100, 100, 300, 150}, "held inside the bounds at the ratio"},
        {H::right, 100, 0, 1, {100, 50, 200, 200}, "an edge grows the other side about the centre line"},
        {H::right, 200, 0, 1, {100, 0, 300, 300}, "shifted to fit the bounds"},
        {H::right, 100, 0, 0.5, {100, 0, 150, 300}, "scaled down to fit the bounds"},
        {H::top, 0, 200, 2, {0, 100, 400, 200}, "a vertical edge drives the width"},
    };
    for (const auto& c : cases) expectNear(G::resized(r, c.handle, c.dx, c.dy, c.ratio, bounds), c.want, c.why);
}

TEST(AnnotationCropGeometry, MovingAndPlacing) {
    const Rect bounds{0, 0, 400, 300};
    expectNear(G::moved({100, 100, 50, 50}, {1000, -1000}, bounds), {350, 0, 50, 50}, "kept inside");
    expectNear(G::placed({100, 100}, {10, 290}, bounds), {0, 200, 100, 100}, "centred then moved inside");
    expectNear(G::placed({500, 100}, {200, 150}, bounds), {0, 100, 500, 100}, "wider than the bounds: at the left");
}

TEST(AnnotationCropGeometry, PixelRects) {
    const Rect image{10, 20, 960, 540};
    const struct {
        Rect crop;
        double p;
        std::optional<PixelRect> want;
        const char* why;
    } cases[] = {
        {image, 2, PixelRect{0, 0, 1920, 1080}, "the whole image"},
        {{10, 460, 100, 100}, 2, PixelRect{0, 0, 200, 200}, "top-left corner: y flips"},
        {{10.25, 20, 0.1, 0.1}, 2, PixelRect{1, 1079, 1, 1}, "never empty"},
        {{900, 20, 500, 500}, 2, PixelRect{1780, 80, 140, 1000}, "never beyond the image"},
        {{-1000, -1000, 10, 10}, 2, PixelRect{0, 1079, 20, 1}, "outside: clamped to a corner pixel"},
        {image, 0, std::nullopt, "no scale"},
        {image, NAN, std::nullopt, "a scale that is not a number"},
    };
    for (const auto& c : cases) EXPECT_EQ(G::pixelRect(c.crop, image, c.p), c.want) << c.why;
    EXPECT_EQ(G::pixelRect({0, 0, 1, 1}, {0, 0, 0.2, 0.2}, 1), std::nullopt) << "an image of no whole pixel";
}

TEST(AnnotationCropSession, SizePresetsFitOrAreRefused) {
    AnnotationCropSessionState exact({0, 0, 960, 540}, 2);
    EXPECT_TRUE(exact.canSelect(AnnotationCropPreset::pixels(1920, 1080))) << "an exact fit";
    EXPECT_TRUE(exact.select(AnnotationCropPreset::pixels(1280, 720)));
    expectNear(exact.rect(), {160, 90, 640, 360}, "centred on the current crop");

    AnnotationCropSessionState small({0, 0, 500, 250}, 2);
    EXPECT_FALSE(small.canSelect(AnnotationCropPreset::pixels(1280, 720)));
    EXPECT_FALSE(small.select(AnnotationCropPreset::pixels(1280, 720)));
    EXPECT_EQ(small.preset(), AnnotationCropPreset::freeform());
    EXPECT_TRUE(small.canSelect(AnnotationCropPreset::pixels(1001, 501))) << "within half a point";
}

TEST(AnnotationCropSession, RatioPresets) {
    AnnotationCropSessionState s({0, 0, 400, 200}, 1, Rect{300, 50, 100, 100});
    EXPECT_TRUE(s.select(AnnotationCropPreset::ratio(1, 1)));
    expectNear(s.rect(), {200, 0, 200, 200}, "a square as tall as the image, as near the crop's centre as it fits");
    EXPECT_TRUE(s.isHighlighted(AnnotationCropPreset::ratio(1, 1)));
    EXPECT_TRUE(s.select(AnnotationCropPreset::originalRatio()));
    expectNear(s.rect(), {0, 0, 400, 200}, "the image's own ratio");
    EXPECT_TRUE(s.select(AnnotationCropPreset::ratio(0, 5)));
    expectNear(s.rect(), {0, 0, 400, 200}, "no usable ratio leaves the rect");
    s.reset();
    EXPECT_EQ(s.preset(), AnnotationCropPreset::freeform());
}

TEST(AnnotationCropSession, DragsMoveAndResize) {
    AnnotationCropSessionState s({0, 0, 400, 300}, 1, Rect{100, 100, 200, 100});
    EXPECT_FALSE(s.beginDrag({10, 10})) << "outside the crop";
    EXPECT_EQ(s.cursorAt({10, 10}), AnnotationCropCursor::none);
    EXPECT_EQ(s.cursorAt({106, 106}), AnnotationCropCursor::resizeDiagonalRising) << "bottom-left handle";
    EXPECT_EQ(s.cursorAt({200, 150}), AnnotationCropCursor::move);

    ASSERT_TRUE(s.beginDrag({200, 150}));
    EXPECT_FALSE(s.drag()->handle);
    EXPECT_TRUE(s.dragTo({400, 150}));
    expectNear(s.rect(), {200, 100, 200, 100}, "moved to the right edge and no further");
    s.endDrag();

    ASSERT_TRUE(s.beginDrag({401, 200}));
    EXPECT_EQ(s.drag()->handle, H::topRight);
    s.dragTo({0, 0});
    expectNear(s.rect(), {200, 100, 20, 20}, "past the opposite corner");
    s.endDrag();
    EXPECT_EQ(s.rectToApply(), (Rect{200, 100, 20, 20}));
}

TEST(AnnotationCropSession, Keys) {
    AnnotationCropSessionState s({0, 0, 100, 100}, 1, Rect{10, 10, 50, 50});
    const struct {
        AnnotationCropKey key;
        bool shift;
        AnnotationCropKeyOutcome outcome;
        Rect after;
    } cases[] = {
        {AnnotationCropKey::returnKey, false, AnnotationCropKeyOutcome::apply, {10, 10, 50, 50}},
        {AnnotationCropKey::escape, false, AnnotationCropKeyOutcome::cancel, {10, 10, 50, 50}},
        {AnnotationCropKey::right, false, AnnotationCropKeyOutcome::moved, {11, 10, 50, 50}},
        {AnnotationCropKey::up, true, AnnotationCropKeyOutcome::moved, {11, 20, 50, 50}},
        {AnnotationCropKey::left, true, AnnotationCropKeyOutcome::moved, {1, 20, 50, 50}},
        {AnnotationCropKey::left, true, AnnotationCropKeyOutcome::moved, {0, 20, 50, 50}},  // held at the edge
        {AnnotationCropKey::down, false, AnnotationCropKeyOutcome::moved, {0, 19, 50, 50}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(s.handleKey(c.key, c.shift), c.outcome);
        EXPECT_EQ(s.rect(), c.after);
    }
    ASSERT_TRUE(s.beginDrag({20, 40}));
    EXPECT_EQ(s.handleKey(AnnotationCropKey::returnKey), AnnotationCropKeyOutcome::ignored) << "mid-drag";
}

TEST(AnnotationCropSession, TinyAndDegenerateImagesNeverBreak) {
    AnnotationCropSessionState tiny({0, 0, 8, 5}, 1);
    ASSERT_TRUE(tiny.beginDrag({8, 5}));
    tiny.dragTo({-100, -100});
    expectNear(tiny.rect(), {0, 0, 8, 5}, "the minimum is clamped to the image");
    EXPECT_FALSE(tiny.rectToApply());

    AnnotationCropSessionState empty({0, 0, 0.3, 0.3}, 1);
    EXPECT_TRUE(empty.beginDrag({0.1, 0.1}));
    empty.dragTo({5, 5});
    EXPECT_EQ(empty.overlay().sizeLabel, "") << "no whole pixel, no label";
    EXPECT_FALSE(empty.rectToApply());
    EXPECT_TRUE(empty.select(AnnotationCropPreset::originalRatio()));

    AnnotationCropSessionState zero({0, 0, 0, 0}, 0);
    EXPECT_FALSE(zero.canSelect(AnnotationCropPreset::pixels(1, 1)));
    EXPECT_TRUE(zero.select(AnnotationCropPreset::ratio(16, 9)));
    EXPECT_FALSE(zero.rectToApply());
}

TEST(AnnotationCropSession, OverlayDimsAroundTheCrop) {
    AnnotationCropSessionState s({0, 0, 100, 100}, 2, Rect{20, 30, 40, 50});
    const AnnotationCropOverlay o = s.overlay();
    double dimmedArea = 0;
    for (const Rect& r : o.dimmed) dimmedArea += r.width * r.height;
    EXPECT_DOUBLE_EQ(dimmedArea, 100 * 100 - 40 * 50);
    EXPECT_EQ(o.sizeLabel, "80 \u00d7 100");
    EXPECT_EQ(AnnotationCropSessionState({0, 0, 100, 100}, 2).overlay().dimmed.size(), 0u);
    EXPECT_FALSE(AnnotationCropSessionState({0, 0, 100, 100}, 2).rectToApply()) << "the whole image is no crop";
}

TEST(AnnotationCropSession, InitialCropIsKeptInsideTheImage) {
    expectNear(AnnotationCropSessionState({0, 0, 100, 100}, 1, Rect{50, 50, 100, 100}).rect(), {50, 50, 50, 50}, "cut");
    expectNear(AnnotationCropSessionState({0, 0, 100, 100}, 1, Rect{500, 500, 10, 10}).rect(), {0, 0, 100, 100},
               "outside: the whole image");
    EXPECT_EQ(AnnotationCropSessionState({0, 0, 10, 10}, 1), AnnotationCropSessionState({0, 0, 10, 10}, 1)) << "a value";
}

}  // namespace
}  // namespace tessarin
