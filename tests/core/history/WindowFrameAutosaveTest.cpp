#include <gtest/gtest.h>

#include <cmath>

#include "core/history/WindowFrameAutosave.h"

namespace tessarin {
namespace {

const std::vector<GridRect> screens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
const GridRect preferred{0, 0, 960, 720};

TEST(WindowFrameAutosave, KeepsTheFrameUnderItsName) {
    InMemoryKeyValueStore store;
    WindowFrameAutosave frames(store, "CaptureHistoryWindow");
    EXPECT_EQ(frames.key(), "windowFrameCaptureHistoryWindow");
    frames.save({2000, 100, 800, 600});
    EXPECT_EQ(WindowFrameAutosave(store, "CaptureHistoryWindow").frame(screens, preferred, 300, 200),
              (GridRect{2000, 100, 800, 600}));
    EXPECT_FALSE(WindowFrameAutosave(store, "Other").stored(screens, 300, 200));
}

TEST(WindowFrameAutosave, UnusableValuesOpenAtTheDefaultPlace) {
    const GridRect centred{480, 180, 960, 720};
    const std::vector<nlohmann::json> values = {
        "a string",
        {{"x", 10}, {"y", 10}, {"width", 800}},                            // a side missing
        {{"x", "10"}, {"y", 10}, {"width", 800}, {"height", 600}},         // mistyped
        {{"x", 10}, {"y", 10}, {"width", 100}, {"height", 600}},           // under the minimum
        {{"x", 10}, {"y", 10}, {"width", 1e9}, {"height", 600}},           // absurd
        {{"x", 1e300}, {"y", 10}, {"width", 800}, {"height", 600}},        // beyond any screen
        {{"x", 1900}, {"y", 1060}, {"width", 800}, {"height", 600}},       // a sliver on a screen
    };
    for (const auto& value : values) {
        InMemoryKeyValueStore store({{"windowFrameCaptureHistoryWindow", value}});
        EXPECT_EQ(WindowFrameAutosave(store, "CaptureHistoryWindow").frame(screens, preferred, 300, 200), centred)
            << value.dump();
    }
}

TEST(WindowFrameAutosave, TheDefaultFitsTheFirstScreen) {
    EXPECT_EQ(WindowFrameAutosave::defaultFrame({{100, 50, 800, 600}}, preferred), (GridRect{100, 50, 800, 600}));
    EXPECT_EQ(WindowFrameAutosave::defaultFrame({}, preferred), preferred);
}

}  // namespace
}  // namespace tessarin
