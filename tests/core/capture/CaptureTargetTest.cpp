// Where a capture lands: screens by id, index or number, pixel rectangles
// to global points and back, and the pixel-grid crop (the stored area replay
// is covered through capture-previous-region).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/capture/CaptureTarget.h"
#include "core/capture/PixelCrop.h"
#include "core/capture/ScreenLocator.h"
#include "core/capture/WindowTargetResolver.h"
#include "core/common/Log.h"
#include "platform/DisplayPrinter.h"
#include "support/FakeScreenBackend.h"

namespace tessarin {
namespace {

using testing::makeDisplay;
namespace Target = CaptureTarget;

// A 1x monitor listed first, right of and a little lower than the 2x laptop
// panel, which is primary.
const DisplayDescription kRight = makeDisplay(11, {1512, -200, 1920, 1080}, 1);
const DisplayDescription kPanel = makeDisplay(7, {0, 0, 1512, 982}, 2, true);
const std::vector<DisplayDescription> kDisplays = {kRight, kPanel};
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

struct CapturedLog final : LogSink {
    std::vector<std::string> lines;
    void write(LogLevel, std::string_view, std::string_view message) override { lines.emplace_back(message); }
    ScopedLogSink installed{*this};  // last: uninstalled first
};

TEST(CaptureTarget, ExplicitScreenByIdIndexOrMainFirstNumber) {
    EXPECT_EQ(Target::mainFirstScreens(kDisplays), (std::vector{kPanel, kRight}));
    const struct { Target::Display which; uint32_t expected; } rows[] = {  // 0: none
        {Target::ByID{11}, 11},   {Target::ByID{12}, 0},     {Target::ByIndex{0}, 11},  // platform order
        {Target::ByIndex{2}, 0},  {Target::ByIndex{-1}, 0},  {Target::ByNumber{1}, 7},  // main first
        {Target::ByNumber{0}, 0}, {Target::Automatic{}, 0},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto screen = Target::explicitScreen(rows[i].which, kDisplays);
        EXPECT_EQ(screen ? screen->displayID.value() : 0, rows[i].expected) << "row " << i;
    }
}

TEST(CaptureTarget, PixelRectBecomesGlobalPointsKeptOnTheDisplay) {
    const struct { Target::PixelRect pixels; DisplayDescription display; std::optional<Rect> expected; } rows[] = {
        {{0, 0, 200, 100}, kPanel, Rect{0, 932, 100, 50}},  // scale 2
        {{10, 20, 300, 200}, kRight, Rect{1522, 660, 300, 200}},
        {{100, 100, 5000, 5000}, kRight, kRight.frame},
        {{10, 20, 50, -1}, kPanel, std::nullopt},
    };
    for (const auto& [pixels, display, expected] : rows) {
        const auto selection = Target::selection(pixels, display);
        EXPECT_EQ(selection ? std::optional(selection->rect) : std::nullopt, expected) << pixels.x << "," << pixels.y;
        if (selection) { EXPECT_EQ(selection->screen, display); }
    }
}

TEST(CaptureTarget, ResolveSelectionUsesThePointerWhenAutomatic) {
    const Target::PixelRect rect{0, 0, 10, 10};
    const auto onRight = Target::resolveSelection(rect, Target::Automatic{}, kDisplays, Point{2000, 0});
    ASSERT_TRUE(std::holds_alternative<CaptureSelection>(onRight));
    EXPECT_EQ(std::get<CaptureSelection>(onRight).screen.displayID, 11u);
    // No pointer to go by (Wayland): the main display.
    const auto unknownPointer = Target::resolveSelection(rect, Target::Automatic{}, kDisplays, {});
    ASSERT_TRUE(std::holds_alternative<CaptureSelection>(unknownPointer));
    EXPECT_EQ(std::get<CaptureSelection>(unknownPointer).screen.displayID,
              Target::mainFirstScreens(kDisplays).front().displayID);
    EXPECT_TRUE(std::holds_alternative<Target::DisplayNotFound>(
        Target::resolveSelection(rect, Target::Automatic{}, {}, {})));
    EXPECT_TRUE(std::holds_alternative<Target::DisplayNotFound>(
        Target::resolveSelection(rect, Target::ByID{99}, kDisplays, {})));
    EXPECT_TRUE(std::holds_alternative<Target::EmptyRectangle>(
        Target::resolveSelection({0, 0, 0, 10}, Target::ByID{7}, kDisplays, {})));
}

TEST(ScreenLocator, ContainingThenNearest) {
    const std::pair<Point, uint32_t> rows[] = {
        {{1512, 0}, 11},  // shared edge: first in the list wins
        {{100, 100}, 7}, {{5000, 100}, 11}};
    for (const auto& [point, expected] : rows) {
        EXPECT_EQ(ScreenLocator::screen(point, kDisplays)->displayID, expected) << point.x;
    }
    EXPECT_FALSE(ScreenLocator::screen({0, 0}, {}));
}

TEST(WindowTargetResolver, FrontmostNormalWindowUnderPoint) {
    using WindowTargetResolver::ownerPID;
    const Rect primary{0, 0, 1000, 800};
    const std::vector<WindowTargetResolver::WindowInfo> windows = {
        {100, 25, {0, 0, 1000, 30}},   // a panel
        {200, 0, {50, 50, 300, 300}},  // front window
        {300, 0, {0, 0, 1000, 800}},   // back window
    };
    // (60, 700) bottom-left is (60, 100) top-left: inside the front window.
    EXPECT_EQ(ownerPID({60, 700}, primary, windows, {}), 200);
    EXPECT_EQ(ownerPID({60, 700}, primary, windows, {200}), 300);
    EXPECT_EQ(ownerPID({10, 790}, primary, windows, {}), 300);  // panel layer skipped
    EXPECT_FALSE(ownerPID({5000, 5000}, primary, windows, {}));
}

TEST(PixelAlignedCrop, FlipsScalesRoundsOutwardsAndIntersects) {
    const struct { Rect rect, frame; double scale; Size image; PixelRect expected; } rows[] = {
        {{0, 932, 100, 50}, kPanel.frame, 2, {3024, 1964}, {0, 0, 200, 100}},  // top-left corner of a 2x display
        {{10.2, 931.7, 10.1, 10}, kPanel.frame, 1, {1512, 982}, {10, 40, 11, 11}},  // outwards to whole pixels
        {{1522, 660, 300, 200}, kRight.frame, 1, {1920, 1080}, {10, 20, 300, 200}},  // display-local
        {{-10, -10, 50, 50}, {0, 0, 100, 100}, 1, {100, 100}, {0, 60, 40, 40}},  // partly outside
    };
    for (const auto& [rect, frame, scale, image, expected] : rows) {
        EXPECT_EQ(pixelAlignedCropRect(rect, frame, scale, image), expected) << rect.x << "," << rect.y;
    }
}

TEST(PixelAlignedCrop, NonFiniteEmptyOrOffTheImageGivesNothingAndNonFiniteIsLogged) {
    const std::pair<Rect, double> rows[] = {
        {{nan, 0, 10, 10}, 2}, {{0, 0, inf, 10}, 2}, {{0, 0, 10, 10}, nan}, {{0, 0, 10, 10}, 0}, {{5000, 5000, 10, 10}, 1},
    };
    CapturedLog log;
    for (const auto& [rect, scale] : rows) {
        EXPECT_FALSE(pixelAlignedCropRect(rect, kPanel.frame, scale, {3024, 1964}))
            << rect.x << "," << rect.width << " @" << scale;
    }
    ASSERT_FALSE(log.lines.empty());
    EXPECT_TRUE(log.lines[0].starts_with("pixelAlignedCropRect got non-finite input rect=")) << log.lines[0];
}

TEST(SanitizedPixelSize, RoundsClampsAndLogs) {
    CapturedLog log;
    EXPECT_EQ(sanitizedPixelSize({1919.5, 1080.4}, "test"), (PixelSize{1920, 1080}));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(sanitizedPixelSize({0, 10}, "makeConfiguration.outputSize"), (PixelSize{1, 10}));
    EXPECT_EQ(sanitizedPixelSize({nan, -5}, "ctx"), (PixelSize{1, 1}));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_TRUE(log.lines[0].starts_with("makeConfiguration.outputSize got invalid size ")) << log.lines[0];
    EXPECT_NE(log.lines[0].find("; clamped to 1x10"), std::string::npos);
}

}  // namespace
}  // namespace tessarin
