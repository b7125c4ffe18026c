#include <gtest/gtest.h>

#include "core/capture/CaptureSelectionGeometry.h"

namespace tessarin {
namespace {

using namespace CaptureSelectionGeometry;

const Rect kBounds{0, 0, 1440, 900};

TEST(TranslatedToFit, KeepsSizeAndMovesInside) {
    EXPECT_EQ(translatedToFit({1800, 50, 400, 300}, kBounds), (Rect{1040, 50, 400, 300}));
    EXPECT_EQ(translatedToFit({-50, -20, 100, 100}, kBounds), (Rect{0, 0, 100, 100}));
    EXPECT_EQ(translatedToFit({100, 100, 10, 10}, kBounds), (Rect{100, 100, 10, 10}));
}

TEST(TranslatedToFit, LargerThanBoundsEndsAtMinimumCornerUnshrunk) {
    EXPECT_EQ(translatedToFit({500, 500, 2000, 1000}, kBounds), (Rect{0, 0, 2000, 1000}));
}

TEST(TranslatedToFit, StandardizesNegativeSizes) {
    EXPECT_EQ(translatedToFit({200, 200, -100, -50}, kBounds), (Rect{100, 150, 100, 50}));
}

TEST(Move, ClampsSizeAndPosition) {
    EXPECT_EQ(move({10, 10, 100, 100}, {2000, 0}, kBounds), (Rect{1340, 10, 100, 100}));
    EXPECT_EQ(move({10, 10, 0, 0}, {0, 0}, kBounds), (Rect{10, 10, 1, 1}));
    EXPECT_EQ(move({0, 0, 5000, 5000}, {0, 0}, kBounds), kBounds);
    EXPECT_EQ(move({100, 100, 10, 10}, {-500, -500}, kBounds), (Rect{0, 0, 10, 10}));
}

TEST(SelectionRect, EnforcesMinimumDimension) {
    const Rect r = selectionRect({100, 100}, {105, 300}, kBounds, std::nullopt, 24);
    EXPECT_EQ(r, (Rect{100, 100, 24, 200}));
}

TEST(SelectionRect, GrowsToMeetAspectRatioKeepingHeight) {
    const Rect r = selectionRect({100, 100}, {105, 300}, kBounds, 16.0 / 9.0, 24);
    EXPECT_DOUBLE_EQ(r.height, 200);
    EXPECT_NEAR(r.width, 355.555, 0.01);
    EXPECT_DOUBLE_EQ(r.x, 100);
}

TEST(SelectionRect, AspectRatioClampedToBounds) {
    const Rect bounds{0, 0, 300, 900};
    const Rect r = selectionRect({100, 100}, {105, 300}, bounds, 16.0 / 9.0, 24);
    EXPECT_DOUBLE_EQ(r.width, 300);
    EXPECT_DOUBLE_EQ(r.x, 0);
}

TEST(SelectionRect, RightToLeftDragAnchorsRightEdgeAtStart) {
    const Rect r = selectionRect({500, 400}, {300, 300}, kBounds, std::nullopt, 24);
    EXPECT_EQ(r, (Rect{300, 300, 200, 100}));
    EXPECT_DOUBLE_EQ(r.maxX(), 500);
}

TEST(SelectionRect, PointsOutsideBoundsAreClampedFirst) {
    const Rect r = selectionRect({-100, -100}, {5000, 5000}, kBounds, std::nullopt, 24);
    EXPECT_EQ(r, kBounds);
}

TEST(ApplyingPreset, FreeformLeavesSelection) {
    const Rect current{10.5, 20.25, 100, 50};
    EXPECT_EQ(applyingPreset(CapturePreset::freeform(), current, kBounds, 24), current);
}

TEST(ApplyingPreset, AspectRatioGrowsAroundCentre) {
    const Rect r = applyingPreset(CapturePreset::aspectRatio(1, 1), {100, 100, 200, 100}, kBounds, 24);
    EXPECT_EQ(r, (Rect{100, 50, 200, 200}));
}

TEST(ApplyingPreset, AspectRatioFitsBounds) {
    const Rect r = applyingPreset(CapturePreset::aspectRatio(16, 9), {0, 0, 1440, 900}, kBounds, 24);
    EXPECT_DOUBLE_EQ(r.width, 1440);
    EXPECT_DOUBLE_EQ(r.height, 810);
}

TEST(ApplyingPreset, FixedSizeClampedToBoundsAndIntegral) {
    const Rect r = applyingPreset(CapturePreset::fixedSize(1920, 1080), {700.5, 400.5, 10, 10}, kBounds, 24);
    EXPECT_EQ(r, (Rect{0, 0, 1440, 900}));
    const Rect small = applyingPreset(CapturePreset::fixedSize(0, -5), {700, 400, 11, 11}, kBounds, 24);
    EXPECT_EQ(small.width, 1);
    EXPECT_EQ(small.height, 1);
}

TEST(PresetCycling, WrapsBothWays) {
    const auto& presets = CapturePreset::builtIn();
    EXPECT_EQ(presets[cycledPresetIndex(presets, CapturePreset::freeform(), false)].name, "1080p");
    EXPECT_EQ(cycledPresetIndex(presets, CapturePreset::freeform(), true), 1u);
    EXPECT_EQ(cycledPresetIndex(presets, CapturePreset::fixedSize(1920, 1080, "1080p"), true), 0u);
    // An active preset that is not in the list counts as the first.
    EXPECT_EQ(cycledPresetIndex(presets, CapturePreset::aspectRatio(7, 5), true), 1u);
    EXPECT_EQ(cycledPresetIndex({}, CapturePreset::freeform(), true), 0u);
}

}  // namespace
}  // namespace tessarin
