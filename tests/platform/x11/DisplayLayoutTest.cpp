#include <gtest/gtest.h>

#include "platform/x11/DisplayScale.h"
#include "platform/x11/X11Displays.h"

namespace tessarin::x11 {
namespace {

TEST(DisplayID, Fnv1aOfTheNameMatchesPublishedVectors) {
    EXPECT_EQ(fnv1a32(""), 0x811c9dc5u);
    EXPECT_EQ(fnv1a32("a"), 0xe40c292cu);
    EXPECT_EQ(fnv1a32("foobar"), 0xbf9cf968u);
    EXPECT_EQ(displayIDForName("DUMMY0"), fnv1a32("DUMMY0"));
    EXPECT_EQ(displayIDForName(""), std::nullopt);
}

TEST(DisplayScale, GdkScaleMustBeAPositiveNumber) {
    EXPECT_EQ(parseGdkScale("2"), 2);
    EXPECT_EQ(parseGdkScale(" 1.5 "), 1.5);
    for (const char* bad : {"0", "-2", "2x", "", "inf", "nan"}) EXPECT_EQ(parseGdkScale(bad), std::nullopt) << bad;
}

TEST(DisplayScale, XftDpiIsFoundAmongOtherResources) {
    EXPECT_EQ(parseXftDpi("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192);
    EXPECT_EQ(parseXftDpi("Xft.dpi: 120"), 120);                   // no final newline
    EXPECT_EQ(parseXftDpi("Xft.dpi:\t96\nXft.dpi:\t144\n"), 144);  // the last one wins
    EXPECT_EQ(parseXftDpi("Xft.dpi:\tlarge\n"), std::nullopt);
    EXPECT_EQ(parseXftDpi("Xft.dpix:\t192\nXTerm*Xft.dpi:\t192\n"), std::nullopt);
}

TEST(DisplayScale, GdkScaleWinsThenXftDpiThenOne) {
    EXPECT_EQ(chooseScale("2", "Xft.dpi:\t96\n"), 2);
    EXPECT_EQ(chooseScale("junk", "Xft.dpi:\t192\n"), 2);
    EXPECT_EQ(chooseScale(std::nullopt, "Xft.dpi:\t144\n"), 1.5);
    EXPECT_EQ(chooseScale(std::nullopt, std::nullopt), 1);
    EXPECT_EQ(chooseScale(std::nullopt, "Xft.dpi:\t72\n"), 1);  // never below 1
    EXPECT_EQ(chooseScale("0.5", std::nullopt), 1);
}

TEST(MonitorOrder, PrimaryFirstThenServerOrder) {
    const auto ordered = orderMonitors({{"A", {0, 0, 10, 10}, false}, {"B", {10, 0, 10, 10}, false},
                                        {"C", {20, 0, 10, 10}, true}, {"D", {30, 0, 10, 10}, false}});
    ASSERT_EQ(ordered.size(), 4u);
    EXPECT_EQ(ordered[0].name + ordered[1].name + ordered[2].name + ordered[3].name, "CABD");
    EXPECT_TRUE(ordered[0].primary);
    EXPECT_FALSE(ordered[3].primary);
}

TEST(MonitorOrder, WithoutAPrimaryTheFirstBecomesPrimaryAndEmptyMonitorsGo) {
    const auto ordered = orderMonitors(
        {{"off", {0, 0, 0, 0}, true}, {"A", {0, 0, 10, 10}, false}, {"B", {10, 0, 10, 10}, false}});
    ASSERT_EQ(ordered.size(), 2u);
    EXPECT_EQ(ordered[0].name, "A");
    EXPECT_TRUE(ordered[0].primary);
    EXPECT_FALSE(ordered[1].primary);
}

TEST(DescribeDisplays, TwoMonitorsSideBySideAtScaleTwo) {
    const auto layout = makeDesktopLayout(
        orderMonitors({{"DP-2", {2560, 0, 2048, 1536}, false}, {"DP-1", {0, 0, 2560, 1600}, true}}), 2,
        std::nullopt);
    const auto displays = describeDisplays(layout);
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].name, "DP-1");
    EXPECT_EQ(displays[0].displayID, fnv1a32("DP-1"));
    EXPECT_TRUE(displays[0].primary);
    EXPECT_EQ(displays[0].frame, (Rect{0, 0, 1280, 800}));
    EXPECT_EQ(displays[0].visibleFrame, displays[0].frame);
    EXPECT_EQ(displays[1].frame, (Rect{1280, 32, 1024, 768}));
    EXPECT_EQ(displays[1].scale, 2);
    EXPECT_EQ(displays[1].pixelWidth, 2048);  // pixels are not scaled
    EXPECT_EQ(displays[1].pixelHeight, 1536);
    EXPECT_FALSE(displays[1].primary);
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

}  // namespace
}  // namespace tessarin::x11
