#include "platform/ScreenBackendAdapter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/FakeScreenBackend.h"
#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

using testing::makeDisplay;
using testing::ManualExecutor;

// Records each result and the thread it came back on.
template <class T>
struct Heard {
    std::vector<T> results;
    std::vector<std::thread::id> threads;
    Completion<T> completion() {
        return [this](T result) {
            results.push_back(std::move(result));
            threads.push_back(std::this_thread::get_id());
        };
    }
};

std::string describe(const Expected<Image, CaptureError>& image) {
    return image ? std::to_string(image->width()) + "x" + std::to_string(image->height())
                 : image.error().description();
}

class ScreenBackendAdapterTest : public ::testing::Test {
protected:
    ScreenBackendAdapterTest() { backend.displayList = {makeDisplay(7, {0, 0, 200, 100}, 1, true)}; }

    // Runs both executors until neither has work, as the two threads would.
    void settle() {
        while (background.runAll() + main.runAll() > 0) {
        }
    }

    testing::FakeScreenBackend backend;
    ManualExecutor main, background;
    ScreenBackendAdapter adapter{backend, main, background};
};

TEST_F(ScreenBackendAdapterTest, RunsTheBackEndInTheBackgroundAndCompletesOnMainWithItsResult) {
    Heard<Expected<Image, CaptureError>> images;
    Heard<AsyncScreenBackend::DisplaysResult> displays;
    adapter.captureDisplayArea(7, {10, 20, 30, 40}, images.completion());
    adapter.captureDisplayArea(9, {0, 0, 1, 1}, images.completion());
    adapter.displays(displays.completion());

    // Nothing is asked of the screen, and nothing completes, inside the call.
    EXPECT_TRUE(backend.capturedAreas.empty());
    EXPECT_TRUE(images.results.empty());
    EXPECT_EQ(main.pending(), 0u);
    background.runAll();
    EXPECT_EQ(backend.capturedAreas.size(), 1u);
    EXPECT_TRUE(images.results.empty());  // the result waits for the main executor
    main.runAll();

    ASSERT_EQ(images.results.size(), 2u);
    EXPECT_EQ(describe(images.results[0]), "30x40");
    EXPECT_EQ(describe(images.results[1]), CaptureError::noDisplay().description());
    ASSERT_EQ(displays.results.size(), 1u);
    ASSERT_TRUE(displays.results[0]);
    EXPECT_EQ(*displays.results[0], backend.displayList);
}

TEST_F(ScreenBackendAdapterTest, PassesOnCapabilitiesButCannotPickAnArea) {
    backend.capabilitySet = backend.capabilitySet.with(ScreenCapability::interactiveAreaPick);
    EXPECT_EQ(adapter.capabilities(), backend.capabilitySet.without(ScreenCapability::interactiveAreaPick));

    Heard<Expected<Image, CaptureError>> picked;
    adapter.pickArea(picked.completion());
    EXPECT_TRUE(picked.results.empty());
    settle();
    ASSERT_EQ(picked.results.size(), 1u);
    EXPECT_EQ(describe(picked.results[0]), "Capture failed: this screen back end cannot let you pick an area");
}

// Work in flight when the adapter shuts down, or asked afterwards, completes
// as cancelled; the back end's own call still runs to its end.
TEST_F(ScreenBackendAdapterTest, ShutdownCancelsWhatIsInFlightAndWhatComesLater) {
    Heard<Expected<Image, CaptureError>> images;
    Heard<std::optional<Point>> pointers;
    backend.pointer = Point{5, 5};
    adapter.captureDisplayArea(7, {0, 0, 10, 10}, images.completion());
    background.runAll();  // grabbed; its result is on its way to main
    adapter.pointerLocation(pointers.completion());
    adapter.shutdown();
    adapter.captureWindow(1, images.completion());
    settle();

    const std::string cancelled = "Capture failed: " + std::string(kCancelled);
    ASSERT_EQ(images.results.size(), 2u);
    EXPECT_EQ(describe(images.results[0]), cancelled);
    EXPECT_EQ(describe(images.results[1]), cancelled);
    EXPECT_EQ(pointers.results, (std::vector<std::optional<Point>>{std::nullopt}));
    EXPECT_EQ(backend.capturedAreas.size(), 1u);
}

}  // namespace
}  // namespace tessarin
