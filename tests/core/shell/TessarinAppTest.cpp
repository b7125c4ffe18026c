#include "core/shell/TessarinApp.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/capture/CaptureHistoryItem.h"
#include "core/capture/StoredCaptureSelection.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/ShellTestSupport.h"
#include "support/FakeGlobalShortcutGrabber.h"
#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

using nlohmann::json;

struct TessarinAppTest : ::testing::Test {
    testing::TempDir dir;
    InMemoryKeyValueStore store;
    NullLoginItemService loginItems;
    testing::FakeGlobalShortcutGrabber grabber;
    testing::RecordingAlerts alerts;
    testing::ManualExecutor main, background;

    std::unique_ptr<TessarinApp> launch() {
        // Display 2 sits right of a 1440-point-wide display.
        const auto displayFrame = [](uint32_t id) -> std::optional<Rect> {
            if (id == 2) return Rect{1440, 0, 1920, 1080};
            return std::nullopt;
        };
        return std::make_unique<TessarinApp>(
            DesktopPlatform{store, loginItems, grabber, alerts, main, background, dir / "data", displayFrame});
    }
    // Runs both executors until neither has anything left.
    void settle() {
        while (main.runAll() + background.runAll() > 0) {
        }
    }
};

TEST_F(TessarinAppTest, MigratesStoredValuesBeforeThePreferencesReadThem) {
    store.set("lastCaptureSelection", json::parse(R"({"area":{"x":1500,"y":40,"width":300,"height":200,"screenID":2}})"));
    const auto app = launch();
    EXPECT_EQ(app->preferences().lastCaptureSelection(), StoredCaptureSelection::area(60, 40, 300, 200, 2));
}

TEST_F(TessarinAppTest, QuitRunsOnceAndTellsEveryCallerWhetherAllWasWritten) {
    for (const bool preferencesFail : {false, true}) {
        SCOPED_TRACE(preferencesFail);
        const auto app = launch();
        app->start();
        settle();
        store.failWrites = preferencesFail;
        std::vector<bool> heard;
        const auto listen = [&heard](bool written) { heard.push_back(written); };
        app->quit(listen);
        app->quit(listen);
        EXPECT_TRUE(grabber.held.empty());
        EXPECT_FALSE(grabber.listening());
        settle();
        EXPECT_EQ(heard, std::vector<bool>(2, !preferencesFail));
        app->quit(listen);  // after the fact: told at once
        EXPECT_EQ(heard.size(), 3u);
        store.failWrites = false;
    }
}

TEST_F(TessarinAppTest, AnApplicationDestroyedMidQuitStillAnswers) {
    auto app = launch();
    std::optional<bool> heard;
    app->quit([&heard](bool written) { heard = written; });
    app.reset();
    EXPECT_EQ(heard, false);
    settle();
}

TEST_F(TessarinAppTest, StartPrunesTheHistoryInTheDataFolderByTheRetentionSettings) {
    const double now = double(std::time(nullptr)) - kReferenceDateOffset;
    const auto item = [](const char* id, double createdAt) {
        CaptureHistoryItem made;
        made.id = id;
        made.createdAt = createdAt;
        made.imageFilename = std::string(id) + ".png";
        made.pixelWidth = made.pixelHeight = 10;
        return made;
    };
    const CaptureHistoryItem recent = item("1F4D7C1A-9A5E-4C2B-8F00-00000000000A", now - 60),
                             old = item("1F4D7C1A-9A5E-4C2B-8F00-00000000000B", now - 3 * 86400);
    testing::writeFile(dir / "data/History/index.json", CaptureHistoryIndex::serialize({recent, old}));
    store.set("historyMaxAgeDays", 2);
    const auto app = launch();
    app->start();
    settle();
    const auto index = CaptureHistoryIndex::parse(testing::readFile(dir / "data/History/index.json"));
    ASSERT_TRUE(index);
    EXPECT_EQ(index->items, std::vector<CaptureHistoryItem>{recent});
}

}  // namespace
}  // namespace tessarin
