#include <gtest/gtest.h>

#include <cmath>

#include "platform/DisplayPrinter.h"
#include "platform/x11/DisplayScale.h"
#include "platform/x11/RootCoordinates.h"
#include "platform/x11/X11Displays.h"

namespace tessarin::x11 {

void PrintTo(const X11Monitor& m, std::ostream* out) {
    *out << m.name << " " << m.root.width << "x" << m.root.height << "+" << m.root.x << "+" << m.root.y
         << (m.primary ? " primary" : "");
}

namespace {

TEST(DisplayID, Fnv1aOfTheNameMatchesPublishedVectors) {
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
    EXPECT_EQ(displayIDForName("DUMMY0"), fnv1a32("DUMMY0"));
    EXPECT_EQ(displayIDForName(""), std::nullopt);
}

TEST(DisplayScale, GdkScaleWinsThenXftDpiThenOne) {
    EXPECT_EQ(parseGdkScale(" 2 "), 2);
    EXPECT_EQ(parseGdkScale("8"), 8);
    // Only what GTK accepts: whole factors, and none a desktop would mean.
    for (const char* bad : {"0", "-2", "2x", "", "inf", "nan", "1.5", "3.7", "9", "100", "1e308", "99999999999"}) {
        EXPECT_EQ(parseGdkScale(bad), std::nullopt) << bad;
    }
    const std::pair<const char*, std::optional<double>> dpis[] = {
        {"Xft.dpi:\t1e308\n", std::nullopt},
        {"Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 192},
        {"Xft.dpi: 120", 120},                      // no final newline
        {"Xft.dpi:\t96\nXft.dpi:\t144\n", 144},     // the last one wins
        {"Xft.dpi:\t192\nXft.dpi:\t96000\n", 192},  // but not an absurd one
        {"Xft.dpi:\tlarge\n", std::nullopt},
        {"Xft.dpix:\t192\nXTerm*Xft.dpi:\t192\n", std::nullopt},
    };
    for (const auto& [resources, dpi] : dpis) EXPECT_EQ(parseXftDpi(resources), dpi) << resources;

    const struct { std::optional<std::string> gdk; std::optional<std::string> resources; double scale; } choices[] = {
        {"2", "Xft.dpi:\t96\n", 2},
        {"3.7", "Xft.dpi:\t192\n", 2},  // an unusable GDK_SCALE falls back
        {std::nullopt, "Xft.dpi:\t144\n", 1.5},
        {std::nullopt, std::nullopt, 1},
        {std::nullopt, "Xft.dpi:\t72\n", 1},  // never below 1
        {"0.5", std::nullopt, 1},
    };
    for (const auto& c : choices) EXPECT_EQ(chooseScale(c.gdk, c.resources), c.scale) << c.gdk.value_or("-");
}

TEST(MonitorOrder, PrimaryFirstThenServerOrderWithoutEmptyMonitors) {
    const X11Monitor a{"A", {0, 0, 10, 10}, false}, b{"B", {10, 0, 10, 10}, false}, d{"D", {30, 0, 10, 10}, false};
    const X11Monitor c{"C", {20, 0, 10, 10}, true}, off{"off", {0, 0, 0, 0}, true};
    EXPECT_EQ(orderMonitors({a, b, c, d}), (std::vector{c, a, b, d}));
    // Without a primary the first becomes primary.
    X11Monitor primaryA = a;
    primaryA.primary = true;
    EXPECT_EQ(orderMonitors({off, a, b}), (std::vector{primaryA, b}));
}

TEST(DescribeDisplays, TwoMonitorsSideBySideAtScaleTwo) {
    const auto layout = makeDesktopLayout(
        orderMonitors({{"DP-2", {2560, 0, 2048, 1536}, false}, {"DP-1", {0, 0, 2560, 1600}, true}}), 2, std::nullopt);
    // Frames in points, bottom-left; pixel sizes are not scaled.
    const Rect first{0, 0, 1280, 800}, second{1280, 32, 1024, 768};
    EXPECT_EQ(describeDisplays(layout), (std::vector<DisplayDescription>{
                                            {fnv1a32("DP-1"), "DP-1", first, first, 2, 2560, 1600, true},
                                            {fnv1a32("DP-2"), "DP-2", second, second, 2, 2048, 1536, false}}));
    EXPECT_EQ(layout.monitorWithID(fnv1a32("DP-2")), &layout.monitors[1]);
    EXPECT_EQ(layout.monitorWithID(fnv1a32("DP-9")), nullptr);
}

TEST(DescribeDisplays, WorkAreaTrimsOnlyTheMonitorsItCovers) {
    const std::vector<X11Monitor> monitors{{"DUMMY0", {0, 0, 1280, 800}, true},
                                           {"DUMMY1", {1280, 0, 1024, 768}, false}};
    // A 30-pixel top panel across the whole root.
    const auto panel = describeDisplays(makeDesktopLayout(monitors, 1, PixelRect{0, 30, 2304, 770}));
    EXPECT_EQ(panel[0].visibleFrame, (Rect{0, 0, 1280, 770}));
    EXPECT_EQ(panel[1].visibleFrame, (Rect{1280, 32, 1024, 738}));
    const auto narrow = describeDisplays(makeDesktopLayout(monitors, 1, PixelRect{0, 0, 1280, 760}));
    EXPECT_EQ(narrow[1].visibleFrame, narrow[1].frame);
}

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
    for (const double scale : {0.5, 0.0, std::nan("")}) EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, scale).scale(), 1);
    EXPECT_EQ(RootCoordinates({0, 0, 10, 10}, 1.5).scale(), 1.5);
}

}  // namespace
}  // namespace tessarin::x11
