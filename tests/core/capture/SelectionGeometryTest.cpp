#include <gtest/gtest.h>

#include "core/capture/CaptureSelectionGeometry.h"

namespace tessarin {
namespace {

using namespace CaptureSelectionGeometry;

const Rect kBounds{0, 0, 1440, 900};

TEST(TranslatedToFit, KeepsTheSizeAndMovesInside) {
    const struct { Rect in, expected; } rows[] = {
        {{1800, 50, 400, 300}, {1040, 50, 400, 300}}, {{-50, -20, 100, 100}, {0, 0, 100, 100}},
        {{500, 500, 2000, 1000}, {0, 0, 2000, 1000}},  // larger than the bounds: minimum corner, unshrunk
        {{200, 200, -100, -50}, {100, 150, 100, 50}},  // negative sizes are standardized
    };
    for (const auto& [in, expected] : rows) EXPECT_EQ(translatedToFit(in, kBounds), expected) << in.x << "," << in.y;
}

TEST(Move, ClampsSizeAndPosition) {
    const struct { Rect in; Point by; Rect expected; } rows[] = {
        {{10, 10, 100, 100}, {2000, 0}, {1340, 10, 100, 100}}, {{10, 10, 0, 0}, {0, 0}, {10, 10, 1, 1}},
        {{0, 0, 5000, 5000}, {0, 0}, kBounds},
    };
    for (const auto& [in, by, expected] : rows) EXPECT_EQ(move(in, by, kBounds), expected) << in.x << "," << by.x;
}

TEST(SelectionRect, ClampsAnchorsEnforcesTheMinimumAndGrowsTheWidthForARatioWithinTheBounds) {
    const struct { Point from, to; Rect bounds; std::optional<double> ratio; Rect expected; } rows[] = {
        {{100, 100}, {105, 300}, kBounds, std::nullopt, {100, 100, 24, 200}},
        {{500, 400}, {300, 300}, kBounds, std::nullopt, {300, 300, 200, 100}},  // right-to-left keeps the right edge
        {{100, 100}, {105, 300}, kBounds, 16.0 / 9.0, {100, 100, 200 * 16.0 / 9.0, 200}},
        {{100, 100}, {105, 300}, {0, 0, 300, 900}, 16.0 / 9.0, {0, 100, 300, 200}},
    };
    for (const auto& [from, to, bounds, ratio, expected] : rows) {
        const Rect r = selectionRect(from, to, bounds, ratio, 24);
        EXPECT_TRUE(std::abs(r.x - expected.x) + std::abs(r.y - expected.y) + std::abs(r.width - expected.width) +
                        std::abs(r.height - expected.height) < 1e-9)
            << from.x << "," << to.x << " ratio " << ratio.value_or(0) << ": " << r.x << "," << r.y << " " << r.width
            << "x" << r.height;
    }
}

TEST(ApplyingPreset, ReshapesAroundTheCentreWithinTheBounds) {
    const struct { CapturePreset preset; Rect current, expected; } rows[] = {
        {CapturePreset::freeform(), {10.5, 20.25, 100, 50}, {10.5, 20.25, 100, 50}},
        {CapturePreset::aspectRatio(1, 1), {100, 100, 200, 100}, {100, 50, 200, 200}},
        {CapturePreset::aspectRatio(16, 9), kBounds, {0, 45, 1440, 810}},
        {CapturePreset::fixedSize(1920, 1080), {700.5, 400.5, 10, 10}, kBounds},
        {CapturePreset::fixedSize(0, -5), {700, 400, 11, 11}, {705, 405, 1, 1}},
    };
    for (const auto& [preset, current, expected] : rows) {
        EXPECT_EQ(applyingPreset(preset, current, kBounds, 24), expected) << preset.id();
    }
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
