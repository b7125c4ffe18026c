#include <gtest/gtest.h>

#include "core/capture/CaptureTarget.h"
#include "core/capture/PreviousCaptureReplay.h"
#include "core/capture/ScreenLocator.h"
#include "core/capture/WindowTargetResolver.h"
#include "platform/DisplayPrinter.h"
#include "support/FakeScreenBackend.h"

namespace tessarin {
namespace {

using testing::makeDisplay;
namespace Target = CaptureTarget;
namespace Replay = PreviousCaptureReplay;

// A 1x monitor listed first, right of and a little lower than the 2x laptop
// panel, which is primary.
const DisplayDescription kRight = makeDisplay(11, {1512, -200, 1920, 1080}, 1);
const DisplayDescription kPanel = makeDisplay(7, {0, 0, 1512, 982}, 2, true);
const std::vector<DisplayDescription> kDisplays = {kRight, kPanel};

TEST(CaptureTarget, ExplicitScreenByIdIndexOrMainFirstNumber) {
    const auto ordered = Target::mainFirstScreens(kDisplays);
    EXPECT_EQ(ordered, (std::vector{kPanel, kRight}));
    const struct { Target::Display which; uint32_t expected; } rows[] = {  // 0: none
        {Target::ByID{11}, 11},    {Target::ByID{12}, 0},     {Target::ByIndex{0}, 11},  // platform order
        {Target::ByIndex{2}, 0},   {Target::ByIndex{-1}, 0},  {Target::ByNumber{1}, 7},  // main first
        {Target::ByNumber{2}, 11}, {Target::ByNumber{0}, 0},  {Target::Automatic{}, 0},
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
        {{10, 20, 0, 50}, kPanel, std::nullopt},
        {{10, 20, 50, -1}, kPanel, std::nullopt},
    };
    for (const auto& [pixels, display, expected] : rows) {
        const auto selection = Target::selection(pixels, display);
        EXPECT_EQ(selection ? std::optional(selection->rect) : std::nullopt, expected) << pixels.x << "," << pixels.y;
        if (selection) {
            EXPECT_EQ(selection->screen, display);
        }
    }
}

TEST(CaptureTarget, ResolveSelectionUsesThePointerWhenAutomatic) {
    const Target::PixelRect rect{0, 0, 10, 10};
    const auto onRight = Target::resolveSelection(rect, Target::Automatic{}, kDisplays, Point{2000, 0});
    ASSERT_TRUE(std::holds_alternative<CaptureSelection>(onRight));
    EXPECT_EQ(std::get<CaptureSelection>(onRight).screen.displayID, 11u);
    EXPECT_TRUE(std::holds_alternative<Target::DisplayNotFound>(
        Target::resolveSelection(rect, Target::Automatic{}, kDisplays, {})));
    EXPECT_TRUE(std::holds_alternative<Target::DisplayNotFound>(
        Target::resolveSelection(rect, Target::ByID{99}, kDisplays, {})));
    EXPECT_TRUE(std::holds_alternative<Target::EmptyRectangle>(
        Target::resolveSelection({0, 0, 0, 10}, Target::ByID{7}, kDisplays, {})));
}

TEST(ScreenLocator, ContainingThenNearest) {
    const std::pair<Point, uint32_t> rows[] = {
        {{1512, 0}, 11},  // shared edge: first in the list wins
        {{100, 100}, 7}, {{-50, 100}, 7}, {{5000, 100}, 11}};
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

// Replaying a stored area is also covered through capture-previous-region.
TEST(PreviousCaptureReplay, AnAreaNeedsItsDisplayOrAMainOne) {
    const auto unknown = StoredCaptureSelection::area(0, 0, 1, 1, 99);
    EXPECT_TRUE(std::holds_alternative<Replay::DisplayNotFound>(Replay::outcome(unknown, {kRight})));
    EXPECT_TRUE(std::holds_alternative<Replay::DisplayNotFound>(Replay::outcome(unknown, {})));
    const auto fallback = Replay::outcome(StoredCaptureSelection::area(1800, 50, 400, 300, 99), kDisplays);
    ASSERT_TRUE(std::holds_alternative<Replay::Area>(fallback));
    EXPECT_EQ(std::get<Replay::Area>(fallback).selection, (CaptureSelection{kPanel, {1112, 50, 400, 300}}));
}

TEST(PreviousCaptureReplay, RememberedAreaIsDisplayLocal) {
    EXPECT_EQ(rememberedArea({1522, -180, 300, 200}, kRight), StoredCaptureSelection::area(10, 20, 300, 200, 11));
    auto anonymous = kRight;
    anonymous.displayID.reset();
    EXPECT_FALSE(rememberedArea({0, 0, 1, 1}, anonymous));
}

}  // namespace
}  // namespace tessarin
