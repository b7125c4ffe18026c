#include <gtest/gtest.h>

#include "core/pins/PinPlacement.h"
#include "core/pins/PinWindowChrome.h"
#include "core/pins/StoredPin.h"

namespace tessarin {
namespace {

using namespace PinPlacement;

struct SizeCase {
    Size image;
    Size visible;
    Size expected;
};

TEST(PinWindowSize, FitsSixtyTwoPercentOfTheDisplayAndNeverBelowTheFloor) {
    const SizeCase cases[] = {
        {{4000, 3000}, {1440, 875}, {723.3333, 542.5}},  // the height limit decides
        {{50, 20}, {1440, 875}, {160, 90}},              // small captures open at the floor
        {{300, 200}, {1440, 875}, {300, 200}},           // never enlarged
        {{1, 2000}, {1000, 1000}, {160, 620}},            // a 1-pixel side does not limit the scale
    };
    for (const auto& c : cases) {
        const Size size = windowSize(c.image, c.visible);
        EXPECT_NEAR(size.width, c.expected.width, 0.01) << c.image.width << "x" << c.image.height;
        EXPECT_NEAR(size.height, c.expected.height, 0.01) << c.image.width << "x" << c.image.height;
    }
    EXPECT_EQ(centred({200, 100}, {0, 0, 1000, 800}), (Rect{400, 350, 200, 100}));
}

TEST(PinWindowSize, TheMinimumHasASmallerSideOf120ButNeverExceedsTheFirstSize) {
    const Size large = minimumSize({1000, 500}, {620, 310});
    EXPECT_DOUBLE_EQ(large.width, 240);
    EXPECT_DOUBLE_EQ(large.height, 120);
    // A 50 x 20 capture opens at 160 x 90; its minimum (300 x 120) would not
    // let it be that small, so it shrinks with the aspect kept.
    const Size small = minimumSize({50, 20}, windowSize({50, 20}, {1440, 875}));
    EXPECT_LE(small.width, 160);
    EXPECT_LE(small.height, 90);
    EXPECT_NEAR(small.width / small.height, 2.5, 1e-9);
}

TEST(PinClamp, ShrinksBothSidesTogetherWhenTheAspectIsLocked) {
    const Rect bounds{0, 0, 1000, 800};
    const Rect locked = clamp({500, 600, 2000, 1000}, bounds, true);
    EXPECT_EQ(locked, (Rect{0, 300, 1000, 500}));
    const Rect free = clamp({500, 600, 2000, 1000}, bounds, false);
    EXPECT_EQ(free, (Rect{0, 0, 1000, 800}));
    EXPECT_EQ(clamp({-50, 780, 200, 100}, bounds, true), (Rect{0, 700, 200, 100}));  // fits: only moved inside
}

TEST(PinResize, KeepsTheImageAspectWithinItsLimits) {
    const Size image{400, 200};
    const Size minimum{240, 120};
    const Size maximum{1000, 1000};
    struct Case {
        Size proposed;
        Size expected;
    } cases[] = {
        {{600, 210}, {600, 300}},   // the width moved more: it leads
        {{410, 400}, {800, 400}},   // the height moved more
        {{100, 50}, {240, 120}},    // not below the minimum
        {{3000, 1500}, {1000, 500}},  // not beyond the maximum
    };
    for (const auto& c : cases) {
        EXPECT_EQ(constrainedResize(c.proposed, {400, 200}, image, minimum, maximum), c.expected)
            << c.proposed.width << "x" << c.proposed.height;
    }
}

TEST(PinPlacementRestore, ClampsIntoItsDisplayOrCentresOnTheMainOne) {
    const std::vector<Screen> screens{{1, {0, 0, 1920, 1050}}, {2, {1920, 0, 1280, 1024}}};
    const StoredPin onSecond{"A", Rect{3000, 100, 400, 300}, 2};
    EXPECT_EQ(restoredFrame(onSecond, {800, 600}, screens, screens[0]), (Rect{2800, 100, 400, 300}));
    // Its display was disconnected: centred on the main display.
    const StoredPin gone{"B", Rect{5000, 100, 400, 300}, 9};
    EXPECT_EQ(restoredFrame(gone, {800, 600}, screens, screens[0]), (Rect{760, 375, 400, 300}));
    // No usable frame: the first size, centred on its display.
    const StoredPin unplaced{"C", std::nullopt, 2};
    const Rect placed = restoredFrame(unplaced, {100, 100}, screens, screens[0]);
    EXPECT_EQ(placed.width, 160);
    EXPECT_EQ(placed.height, 100);
    EXPECT_NEAR(placed.midX(), 1920 + 640, 1e-9);
    EXPECT_EQ(screenOf(placed, screens)->displayID, 2u);
}

TEST(PinWindowChrome, ButtonsWhileHoveredThenEdgesThenTheBodyMoves) {
    using namespace PinWindowChrome;
    const Size size{400, 300};
    const auto frames = buttons(size);
    ASSERT_EQ(frames.size(), 3u);
    struct Case {
        Point at;
        bool shown;
        std::optional<Button> button;
        unsigned edges;
    } cases[] = {
        {{380, 20}, true, Button::close, none},
        {{380, 20}, false, std::nullopt, none},  // hidden buttons do not take presses
        {{frames[1].frame.midX(), 20}, true, Button::save, none},
        {{2, 2}, true, std::nullopt, left | top},
        {{398, 150}, true, std::nullopt, right},
        {{200, 298}, false, std::nullopt, bottom},
        {{200, 150}, true, std::nullopt, none},
    };
    for (const auto& c : cases) {
        const Hit hit = hitTest(size, c.at, c.shown);
        EXPECT_EQ(hit.button, c.button) << c.at.x << "," << c.at.y;
        EXPECT_EQ(hit.edges, c.edges) << c.at.x << "," << c.at.y;
        EXPECT_EQ(hit.moves(), !c.button && c.edges == none);
    }
}

}  // namespace
}  // namespace tessarin
