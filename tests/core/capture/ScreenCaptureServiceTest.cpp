#include <gtest/gtest.h>

#include <limits>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/EventLoop.h"
#include "core/common/ThreadPool.h"
#include "support/FakeScreenBackend.h"
#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

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
    ImageResult window(std::string app, std::string title) {
        return await<ImageResult>([&](auto& s, auto done) { s.captureWindow(app, title, std::move(done)); });
    }
    ImageResult region(const Rect& rect, const DisplayDescription& display) {
        auto context = await<Expected<ScreenCaptureRegionContext, CaptureError>>(
            [display](auto& s, auto done) { s.prepareRegionCapture(display, std::move(done)); });
        if (!context) return unexpected(context.error());
        return await<ImageResult>([&](auto& s, auto done) { s.captureRegion(rect, *context, std::move(done)); });
    }

    testing::FakeScreenBackend backend;
    EventLoop loop;
    ThreadPool pool{2};
    ScreenCaptureService service{backend, loop, pool};
};

// The display under the pointer and the app-only window message: the capture commands' tests.
TEST_F(ScreenCaptureServiceTest, WholeDisplaysInDevicePixelsById) {
    auto image = await<ImageResult>([](auto& s, auto done) { s.captureDisplay(7, std::move(done)); });
    ASSERT_TRUE(image);
    EXPECT_EQ(std::pair(image->width(), image->height()), std::pair(3024u, 1964u));
    auto missing = await<ImageResult>([](auto& s, auto done) { s.captureDisplay(99, std::move(done)); });
    EXPECT_EQ(missing.error().description(), "No display found");
}

TEST_F(ScreenCaptureServiceTest, RegionIsCroppedOnThePixelGridOrFails) {
    // 100x50 points at the top-left corner of the 2x display.
    auto image = region({0, 932, 100, 50}, backend.displayList[0]);
    ASSERT_TRUE(image);
    EXPECT_EQ(std::pair(image->width(), image->height()), std::pair(200u, 100u));
    EXPECT_EQ(backend.capturedAreas, (std::vector<PixelRect>{{0, 0, 200, 100}}));

    // Not everything instead.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(region({nan, 0, 10, 10}, backend.displayList[0]).error().description(),
              "Capture failed: Failed to crop screenshot image");
    EXPECT_EQ(backend.capturedAreas.size(), 1u);
    EXPECT_EQ(region({0, 0, 10, 10}, makeDisplay(55, {0, 0, 100, 100})).error().kind(), CaptureError::Kind::noDisplay);
}

TEST_F(ScreenCaptureServiceTest, WindowMatchIgnoresCasePrefersTheLargestThenTheFirst) {
    backend.windowList = {
        {1, 10, "XTerm", "small shell", {0, 0, 100, 100}}, {2, 11, "XTerm", "big shell", {0, 0, 400, 300}},
        {3, 12, "XLogo", "logo", {0, 0, 800, 800}},        {4, 13, "XTerm", "hidden", {0, 0, 900, 900}, 0, false},
        {5, 1, "Editor", "a", {0, 0, 200, 100}},           {6, 1, "Editor", "b", {0, 0, 100, 200}},
    };
    const struct { const char* app; const char* title; uint32_t expected; } rows[] = {
        {"xterm", "", 2}, {"XTERM", "SMALL", 1}, {"edit", "", 5}};
    for (const auto& [app, title, expected] : rows) {
        ASSERT_TRUE(window(app, title)) << app;
        EXPECT_EQ(backend.capturedWindows.back(), expected) << app;
    }
    EXPECT_EQ(window("Browser", "News").error().description(),
              "Capture failed: No on-screen window for app=Browser title=News");
}

TEST_F(ScreenCaptureServiceTest, FrozenScreensCropLikeLiveCapture) {
    auto frozen = await<Expected<FrozenScreens, CaptureError>>(
        [](auto& s, auto done) { s.freezeScreens(std::move(done)); });
    ASSERT_TRUE(frozen);
    ASSERT_EQ(frozen->frames().size(), 2u);
    auto crop = frozen->crop({backend.displayList[1], {1522, 660, 300, 200}});
    ASSERT_TRUE(crop);
    // The fake paints each pixel's x and y into its red and green bytes.
    EXPECT_EQ(std::tuple(crop->width(), crop->row(0)[0], crop->row(0)[1]), std::tuple(300u, uint8_t{10}, uint8_t{20}));
    EXPECT_EQ(frozen->crop({backend.displayList[1], {0, 0, 0, 0}}).error().description(),
              "Capture failed: Failed to crop frozen screen image");
}

// Destroyed or shut down mid-capture (also between its back-end steps): the caller hears "cancelled".
TEST(ScreenCaptureServiceLifetime, CapturesInFlightCompleteAsCancelledWhenTheServiceGoes) {
    testing::FakeScreenBackend backend;
    backend.displayList = {makeDisplay(7, {0, 0, 200, 100}, 1, true)};
    testing::ManualExecutor main, background;
    std::vector<std::string> heard;
    const auto record = [&heard](ImageResult image) {
        heard.push_back(image ? "image" : image.error().description());
    };
    const auto settle = [&] {
        while (background.runAll() + main.runAll() > 0) {
        }
    };
    auto service = std::make_unique<ScreenCaptureService>(backend, main, background);
    service->captureDisplay(7, record);
    service.reset();
    service = std::make_unique<ScreenCaptureService>(backend, main, background);
    service->captureDisplay(7, record);
    service->shutdown();
    service->captureDisplay(7, record);
    settle();

    const size_t grabbed = backend.capturedAreas.size();
    service = std::make_unique<ScreenCaptureService>(backend, main, background);
    service->captureDisplay(7, record);
    ASSERT_TRUE(background.runOne());  // the displays
    ASSERT_TRUE(main.runOne());        // the grab is asked for
    service->shutdown();
    settle();
    EXPECT_EQ(backend.capturedAreas.size(), grabbed + 1) << "the grab asked for still ran";
    EXPECT_EQ(heard, std::vector<std::string>(4, "Capture failed: " + std::string(kCancelled)));
}

}  // namespace
}  // namespace tessarin
