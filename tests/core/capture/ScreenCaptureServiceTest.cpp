#include <gtest/gtest.h>

#include <limits>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/EventLoop.h"
#include "core/common/ThreadPool.h"
#include "support/FakeScreenBackend.h"

namespace tessarin {
namespace {

using testing::FakeScreenBackend;
using testing::makeDisplay;

class ScreenCaptureServiceTest : public ::testing::Test {
protected:
    ScreenCaptureServiceTest() {
        backend.displayList = {makeDisplay(7, {0, 0, 1512, 982}, 2, true), makeDisplay(11, {1512, -200, 1920, 1080})};
    }

    template <class T, class Start>
    T await(Start start) {
        return runAsyncOnMain<T>(loop, [this, start](Completion<T> done) mutable { start(service, std::move(done)); });
    }

    ImageResult region(const Rect& rect, const DisplayDescription& display) {
        auto context = await<Expected<ScreenCaptureRegionContext, CaptureError>>(
            [display](auto& s, auto done) { s.prepareRegionCapture(display, std::move(done)); });
        if (!context) return unexpected(context.error());
        return await<ImageResult>([&](auto& s, auto done) { s.captureRegion(rect, *context, std::move(done)); });
    }

    FakeScreenBackend backend;
    EventLoop loop;
    ThreadPool pool{2};
    ScreenCaptureService service{backend, loop, pool};
};

TEST_F(ScreenCaptureServiceTest, CaptureDisplayIsTheWholeDisplayInDevicePixels) {
    auto image = await<ImageResult>([](auto& s, auto done) { s.captureDisplay(7, std::move(done)); });
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 3024u);
    EXPECT_EQ(image->height(), 1964u);
    auto missing = await<ImageResult>([](auto& s, auto done) { s.captureDisplay(99, std::move(done)); });
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description(), "No display found");
}

TEST_F(ScreenCaptureServiceTest, CaptureUnderCursorPicksThePointersDisplay) {
    backend.pointer = Point{2000, 100};
    auto image = await<ImageResult>([](auto& s, auto done) { s.captureDisplayUnderCursor(std::move(done)); });
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 1920u);
    EXPECT_EQ(image->row(0)[2], 1);  // second display in the list
}

TEST_F(ScreenCaptureServiceTest, RegionOnScale2DisplayIsCroppedOnThePixelGrid) {
    // 100x50 points at the top-left corner of the 2x display.
    auto image = region({0, 932, 100, 50}, backend.displayList[0]);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 200u);
    EXPECT_EQ(image->height(), 100u);
    ASSERT_EQ(backend.capturedAreas.size(), 1u);
    EXPECT_EQ(backend.capturedAreas[0], (PixelRect{0, 0, 200, 100}));
}

TEST_F(ScreenCaptureServiceTest, RegionWithNonFiniteRectFailsInsteadOfCapturingEverything) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto image = region({nan, 0, 10, 10}, backend.displayList[0]);
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().description(), "Capture failed: Failed to crop screenshot image");
    EXPECT_TRUE(backend.capturedAreas.empty());
}

TEST_F(ScreenCaptureServiceTest, RegionOnUnpluggedDisplayIsNoDisplay) {
    const auto gone = makeDisplay(55, {0, 0, 100, 100});
    auto image = region({0, 0, 10, 10}, gone);
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().kind(), CaptureError::Kind::noDisplay);
}

TEST_F(ScreenCaptureServiceTest, WindowMatchIgnoresCaseAndPrefersTheLargest) {
    backend.windowList = {
        {1, 10, "XTerm", "small shell", {0, 0, 100, 100}},
        {2, 11, "XTerm", "big shell", {0, 0, 400, 300}},
        {3, 12, "XLogo", "logo", {0, 0, 800, 800}},
        {4, 13, "XTerm", "hidden", {0, 0, 900, 900}, 0, false},
    };
    auto largest = await<ImageResult>([](auto& s, auto done) { s.captureWindow("xterm", "", std::move(done)); });
    ASSERT_TRUE(largest);
    EXPECT_EQ(backend.capturedWindows.back(), 2u);
    auto titled = await<ImageResult>([](auto& s, auto done) { s.captureWindow("XTERM", "SMALL", std::move(done)); });
    ASSERT_TRUE(titled);
    EXPECT_EQ(backend.capturedWindows.back(), 1u);
}

TEST_F(ScreenCaptureServiceTest, WindowTiesGoToTheFirstAndMissingWindowsAreNamed) {
    backend.windowList = {{5, 1, "Editor", "a", {0, 0, 200, 100}}, {6, 1, "Editor", "b", {0, 0, 100, 200}}};
    auto first = await<ImageResult>([](auto& s, auto done) { s.captureWindow("edit", "", std::move(done)); });
    ASSERT_TRUE(first);
    EXPECT_EQ(backend.capturedWindows.back(), 5u);
    auto none = await<ImageResult>([](auto& s, auto done) { s.captureWindow("Browser", "News", std::move(done)); });
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().description(), "Capture failed: No on-screen window for app=Browser title=News");
    auto noTitle = await<ImageResult>([](auto& s, auto done) { s.captureWindow("Browser", "", std::move(done)); });
    EXPECT_EQ(noTitle.error().description(), "Capture failed: No on-screen window for app=Browser");
}

TEST_F(ScreenCaptureServiceTest, AgentTargetsListsPixelSizesAndOnScreenWindows) {
    backend.displayList.push_back(makeDisplay(0, {5000, 0, 10, 10}));
    backend.displayList.back().displayID.reset();  // cannot be named: left out
    backend.windowList = {{1, 10, "XTerm", "t", {10.4, 20.6, 300, 200}}, {2, 11, "X", "off", {0, 0, 5, 5}, 0, false}};
    using Result = Expected<AgentTargetList, CaptureError>;
    auto targets = await<Result>([](auto& s, auto done) { s.agentTargets(std::move(done)); });
    ASSERT_TRUE(targets);
    ASSERT_EQ(targets->displays.size(), 2u);
    EXPECT_EQ(targets->displays[0].index, 0);
    EXPECT_EQ(targets->displays[0].width, 3024);
    EXPECT_EQ(targets->displays[1].displayID, 11u);
    ASSERT_EQ(targets->windows.size(), 1u);
    EXPECT_EQ(targets->windows[0].x, 10);
    EXPECT_EQ(targets->windows[0].y, 21);
}

TEST_F(ScreenCaptureServiceTest, BackendFailuresPassThroughUnchanged) {
    backend.failure = CaptureError::captureFailed("no X display: DISPLAY is not set");
    auto image = await<ImageResult>([](auto& s, auto done) { s.captureDisplayUnderCursor(std::move(done)); });
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().description(), "Capture failed: no X display: DISPLAY is not set");
}

TEST_F(ScreenCaptureServiceTest, FrozenScreensCropLikeLiveCapture) {
    using Result = Expected<FrozenScreens, CaptureError>;
    auto frozen = await<Result>([](auto& s, auto done) { s.freezeScreens(std::move(done)); });
    ASSERT_TRUE(frozen);
    ASSERT_EQ(frozen->frames().size(), 2u);
    auto crop = frozen->crop({backend.displayList[1], {1522, 660, 300, 200}});
    ASSERT_TRUE(crop);
    EXPECT_EQ(crop->width(), 300u);
    EXPECT_EQ(crop->row(0)[0], 10);  // x = 10
    EXPECT_EQ(crop->row(0)[1], 20);  // y = 20
    auto bad = frozen->crop({backend.displayList[1], {0, 0, 0, 0}});
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().description(), "Capture failed: Failed to crop frozen screen image");
}

}  // namespace
}  // namespace tessarin
