#include <gtest/gtest.h>

#include <cmath>

#include "platform/x11/RootCoordinates.h"

namespace tessarin::x11 {
namespace {

// Root 2304x800: primary 1280x800 at the origin, a 1024x768 monitor to its
// right, top-aligned.
TEST(RootCoordinates, MonitorFramesFlipAroundThePrimaryBottomEdge) {
    const RootCoordinates coordinates({0, 0, 1280, 800}, 1);
    EXPECT_EQ(coordinates.toGlobalBottomLeft({0, 0, 1280, 800}), (Rect{0, 0, 1280, 800}));
    EXPECT_EQ(coordinates.toGlobalBottomLeft({1280, 0, 1024, 768}), (Rect{1280, 32, 1024, 768}));
    EXPECT_EQ(coordinates.toGlobalBottomLeft({0, 800, 1920, 1080}), (Rect{0, -1080, 1920, 1080}));  // below
    EXPECT_EQ(coordinates.pointToGlobalBottomLeft(0, 0), (Point{0, 800}));
    EXPECT_EQ(coordinates.pointToGlobalBottomLeft(1300, 10), (Point{1300, 790}));
}

TEST(RootCoordinates, PrimaryAwayFromTheRootOriginIsTheOrigin) {
    // Secondary 1024x768 at the root origin; primary 1280x800 to its right
    // and 100 pixels lower.
    const RootCoordinates coordinates({1024, 100, 1280, 800}, 1);
    EXPECT_EQ(coordinates.toGlobalBottomLeft({1024, 100, 1280, 800}), (Rect{0, 0, 1280, 800}));
    EXPECT_EQ(coordinates.toGlobalBottomLeft({0, 0, 1024, 768}), (Rect{-1024, 132, 1024, 768}));
    EXPECT_EQ(coordinates.toGlobalTopLeft({1034, 110, 200, 100}), (Rect{10, 10, 200, 100}));
    EXPECT_EQ(coordinates.toGlobalTopLeft({0, 0, 50, 50}), (Rect{-1024, -100, 50, 50}));
}

TEST(RootCoordinates, ScaleTwoHalvesEveryLength) {
    const RootCoordinates coordinates({2048, 200, 2560, 1600}, 2);  // primary away from the origin too
    EXPECT_EQ(coordinates.toGlobalBottomLeft({2048, 200, 2560, 1600}), (Rect{0, 0, 1280, 800}));
    EXPECT_EQ(coordinates.toGlobalBottomLeft({0, 0, 2048, 1536}), (Rect{-1024, 132, 1024, 768}));
    // A 200x100 pixel area at the primary's top-left is 100x50 points
    // whose bottom edge is 50 points below its 800-point top.
    EXPECT_EQ(coordinates.toGlobalBottomLeft({2048, 200, 200, 100}), (Rect{0, 750, 100, 50}));
    EXPECT_EQ(coordinates.toGlobalTopLeft({2148, 260, 400, 300}), (Rect{50, 30, 200, 150}));
    EXPECT_EQ(coordinates.pointToGlobalBottomLeft(2248, 1800), (Point{100, 0}));
}

TEST(RootCoordinates, ScaleBelowOneOrNotANumberCountsAsOne) {
    EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, 0.5).scale(), 1);
    EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, 0).scale(), 1);
    EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, std::nan("")).scale(), 1);
    EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, 1.5).scale(), 1.5);
}

}  // namespace
}  // namespace tessarin::x11
