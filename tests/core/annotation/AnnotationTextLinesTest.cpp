#include "core/annotation/AnnotationTextLines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessarin {
namespace {

// Recognition reports boxes normalised to the image with the origin at the
// lower left, as the drawing space has it; broken boxes are dropped.
TEST(AnnotationTextLines, NormalisedBoxesLandOnTheImageAndBrokenOnesAreDropped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto lines = AnnotationTextLines::fromNormalized(
        {{0.1, 0.5, 0.5, 0.1}, {0, 0, 0, 0.1}, {nan, 0.2, 0.3, 0.1}, {0.2, 0.8, 0.3, -0.1}}, {0, 0, 400, 200});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (Rect{40, 100, 200, 20}));
}

// A press near a line (within a quarter of its height) finds it; between
// two lines, the nearer; elsewhere, none.
TEST(AnnotationTextLines, APressFindsTheLineUnderItOrJustBesideIt) {
    AnnotationTextLines lines;
    EXPECT_FALSE(lines.lineAt({50, 50}));
    lines.set({{20, 100, 200, 20}, {20, 124, 200, 20}});
    EXPECT_EQ(lines.lineAt({50, 110}), (Rect{20, 100, 200, 20}));
    EXPECT_EQ(lines.lineAt({50, 96}), (Rect{20, 100, 200, 20})) << "just below the line";
    EXPECT_EQ(lines.lineAt({50, 121}), (Rect{20, 100, 200, 20})) << "the nearer middle";
    EXPECT_EQ(lines.lineAt({50, 123}), (Rect{20, 124, 200, 20}));
    EXPECT_FALSE(lines.lineAt({50, 80}));
    EXPECT_FALSE(lines.lineAt({300, 110})) << "beyond the line's end";
}

}  // namespace
}  // namespace tessarin
