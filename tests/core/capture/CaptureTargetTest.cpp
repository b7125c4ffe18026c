#include <gtest/gtest.h>

#include "core/capture/CaptureTarget.h"
#include "core/capture/PreviousCaptureReplay.h"
#include "core/capture/ScreenLocator.h"
#include "core/capture/WindowTargetResolver.h"
#include "support/FakeScreenBackend.h"

namespace tessarin {
namespace {

using testing::makeDisplay;

// A 2x laptop panel (primary) with a 1x monitor to its right, a little lower.
std::vector<DisplayDescription> twoDisplays() {
    return {makeDisplay(11, {1512, -200, 1920, 1080}, 1), makeDisplay(7, {0, 0, 1512, 982}, 2, true)};
}

TEST(CaptureTarget, MainFirstPutsPrimaryFirstAndKeepsOrder) {
    const auto ordered = CaptureTarget::mainFirstScreens(twoDisplays());
    ASSERT_EQ(ordered.size(), 2u);
    EXPECT_EQ(ordered[0].displayID, 7u);
    EXPECT_EQ(ordered[1].displayID, 11u);
}

TEST(CaptureTarget, ExplicitScreenByIdIndexAndNumber) {
    const auto displays = twoDisplays();
    using namespace CaptureTarget;
    EXPECT_EQ(explicitScreen(ByID{11}, displays)->displayID, 11u);
    EXPECT_FALSE(explicitScreen(ByID{12}, displays));
    EXPECT_EQ(explicitScreen(ByIndex{0}, displays)->displayID, 11u);  // platform order
    EXPECT_FALSE(explicitScreen(ByIndex{2}, displays));
    EXPECT_FALSE(explicitScreen(ByIndex{-1}, displays));
    EXPECT_EQ(explicitScreen(ByNumber{1}, displays)->displayID, 7u);  // main first
    EXPECT_EQ(explicitScreen(ByNumber{2}, displays)->displayID, 11u);
    EXPECT_FALSE(explicitScreen(ByNumber{0}, displays));
    EXPECT_FALSE(explicitScreen(Automatic{}, displays));
}

TEST(CaptureTarget, PixelRectOnScale2DisplayBecomesGlobalPoints) {
    const auto display = makeDisplay(7, {0, 0, 1512, 982}, 2, true);
    const auto selection = CaptureTarget::selection({0, 0, 200, 100}, display);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->rect, (Rect{0, 932, 100, 50}));
}

TEST(CaptureTarget, PixelRectOnOffsetDisplay) {
    const auto display = makeDisplay(11, {1512, -200, 1920, 1080}, 1);
    const auto selection = CaptureTarget::selection({10, 20, 300, 200}, display);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->rect, (Rect{1522, 660, 300, 200}));
}

TEST(CaptureTarget, RectLargerThanDisplayIsKeptOnIt) {
    const auto display = makeDisplay(11, {1512, -200, 1920, 1080}, 1);
    const auto selection = CaptureTarget::selection({100, 100, 5000, 5000}, display);
    ASSERT_TRUE(selection);
    EXPECT_EQ(selection->rect, display.frame);
}

TEST(CaptureTarget, NonPositiveSizeGivesNoSelection) {
    const auto display = makeDisplay(1, {0, 0, 100, 100});
    EXPECT_FALSE(CaptureTarget::selection({10, 20, 0, 50}, display));
    EXPECT_FALSE(CaptureTarget::selection({10, 20, 50, -1}, display));
}

TEST(CaptureTarget, ResolveSelectionUsesPointerWhenAutomatic) {
    const auto displays = twoDisplays();
    using namespace CaptureTarget;
    const auto onSecond = resolveSelection({0, 0, 10, 10}, Automatic{}, displays, Point{2000, 0});
    ASSERT_TRUE(std::holds_alternative<CaptureSelection>(onSecond));
    EXPECT_EQ(std::get<CaptureSelection>(onSecond).screen.displayID, 11u);
    EXPECT_TRUE(std::holds_alternative<DisplayNotFound>(resolveSelection({0, 0, 10, 10}, Automatic{}, displays, {})));
    EXPECT_TRUE(std::holds_alternative<DisplayNotFound>(resolveSelection({0, 0, 10, 10}, ByID{99}, displays, {})));
    EXPECT_TRUE(std::holds_alternative<EmptyRectangle>(resolveSelection({0, 0, 0, 10}, ByID{7}, displays, {})));
}

TEST(ScreenLocator, ContainingThenNearest) {
    const auto displays = twoDisplays();
    EXPECT_EQ(ScreenLocator::screen({1512, 0}, displays)->displayID, 11u);  // shared edge: first in list wins
    EXPECT_EQ(ScreenLocator::screen({100, 100}, displays)->displayID, 7u);
    EXPECT_EQ(ScreenLocator::screen({-50, 100}, displays)->displayID, 7u);
    EXPECT_EQ(ScreenLocator::screen({5000, 100}, displays)->displayID, 11u);
    EXPECT_FALSE(ScreenLocator::screen({0, 0}, {}));
}

TEST(WindowTargetResolver, FrontmostNormalWindowUnderPoint) {
    using WindowTargetResolver::WindowInfo;
    const Rect primary{0, 0, 1000, 800};
    const std::vector<WindowInfo> windows = {
        {100, 25, {0, 0, 1000, 30}},     // a panel
        {200, 0, {50, 50, 300, 300}},    // front window
        {300, 0, {0, 0, 1000, 800}},     // back window
    };
    // (60, 700) bottom-left is (60, 100) top-left: inside the front window.
    EXPECT_EQ(WindowTargetResolver::ownerPID({60, 700}, primary, windows, {}), 200);
    EXPECT_EQ(WindowTargetResolver::ownerPID({60, 700}, primary, windows, {200}), 300);
    EXPECT_EQ(WindowTargetResolver::ownerPID({10, 790}, primary, windows, {}), 300);  // panel layer skipped
    EXPECT_FALSE(WindowTargetResolver::ownerPID({5000, 5000}, primary, windows, {}));
}

TEST(PreviousCaptureReplay, AreaOnItsDisplay) {
    const auto displays = twoDisplays();
    const auto outcome = PreviousCaptureReplay::outcome(StoredCaptureSelection::area(10, 20, 300, 200, 11), displays);
    const auto* area = std::get_if<PreviousCaptureReplay::Area>(&outcome);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->selection.screen.displayID, 11u);
    EXPECT_EQ(area->selection.rect, (Rect{1522, -180, 300, 200}));
}

TEST(PreviousCaptureReplay, MissingDisplayFallsBackToMainKeptInside) {
    const auto displays = std::vector{makeDisplay(5, {0, 0, 1440, 900}, 1, true)};
    const auto outcome =
        PreviousCaptureReplay::outcome(StoredCaptureSelection::area(1800, 50, 400, 300, 99), displays);
    const auto* area = std::get_if<PreviousCaptureReplay::Area>(&outcome);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->selection.screen.displayID, 5u);
    EXPECT_EQ(area->selection.rect, (Rect{1040, 50, 400, 300}));
}

TEST(PreviousCaptureReplay, OtherOutcomes) {
    const auto displays = twoDisplays();
    using namespace PreviousCaptureReplay;
    EXPECT_TRUE(std::holds_alternative<NoPreviousCapture>(outcome(std::nullopt, displays)));
    const auto full = outcome(StoredCaptureSelection::fullscreen(42), displays);
    ASSERT_TRUE(std::holds_alternative<FullScreen>(full));
    EXPECT_EQ(std::get<FullScreen>(full).displayID, 42u);
    // No display has the id and none is primary: nowhere to put the area.
    auto noPrimary = displays;
    for (auto& d : noPrimary) d.primary = false;
    EXPECT_TRUE(std::holds_alternative<DisplayNotFound>(outcome(StoredCaptureSelection::area(0, 0, 1, 1, 99), noPrimary)));
    EXPECT_TRUE(std::holds_alternative<DisplayNotFound>(outcome(StoredCaptureSelection::area(0, 0, 1, 1, 99), {})));
}

TEST(PreviousCaptureReplay, RememberedAreaIsDisplayLocal) {
    const auto display = makeDisplay(11, {1512, -200, 1920, 1080}, 1);
    EXPECT_EQ(rememberedArea({1522, -180, 300, 200}, display), StoredCaptureSelection::area(10, 20, 300, 200, 11));
    auto anonymous = display;
    anonymous.displayID.reset();
    EXPECT_FALSE(rememberedArea({0, 0, 1, 1}, anonymous));
}

}  // namespace
}  // namespace tessarin
