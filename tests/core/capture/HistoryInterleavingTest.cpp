// The capture history with both executors stepped by hand, so changes made
// while an image write is in flight and a store destroyed with work pending
// are each one explicit interleaving.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/capture/CaptureHistoryStore.h"
#include "render/TestImages.h"
#include "support/ManualExecutor.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using Result = CaptureHistoryStore::Result;

class HistoryInterleaving : public ::testing::Test {
protected:
    HistoryInterleaving() { open(); }

    void open() {
        store.reset();
        CaptureHistoryStore::Options options;
        options.now = [this] { return clock += 1; };
        options.garbageGrace = std::chrono::seconds(0);
        store = std::make_unique<CaptureHistoryStore>(CaptureArtifactDirectory(root(), {"images", "thumbnails"}),
                                                      main, background, writer, options);
    }
    fs::path root() const { return folder / "History"; }
    // Runs both executors until neither has anything left.
    void settle() {
        while (background.runAll() + main.runAll() > 0) {
        }
    }
    SharedImage image(uint32_t width, uint32_t height) {
        return std::make_shared<const Image>(test::noiseImage(width, height, width));
    }
    // Starts a capture and lets it finish.
    CaptureHistoryItem recorded() {
        Result result;
        store->record(image(40, 30), std::nullopt, 50, 30, [&](Result item) { result = std::move(item); });
        settle();
        EXPECT_TRUE(result);
        return *result;
    }
    // Starts an edit whose files are not written yet.
    void startEdit(const std::string& id, std::optional<Result>& outcome) {
        store->replaceImage(id, image(50, 20), 50, 30, [&outcome](Result item) { outcome = std::move(item); });
        ASSERT_GT(background.pending(), 0u);  // the write waits in the background
    }
    bool has(const std::string& name) const { return fs::exists(root() / name); }

    testing::TempDir folder;
    double clock = 700000000;
    testing::ManualExecutor main, background;
    BackgroundImageWriter writer{background, main};
    std::unique_ptr<CaptureHistoryStore> store;
};

TEST_F(HistoryInterleaving, AnEditInFlightKeepsAPinAndAQuickAccessFlagSetMeanwhile) {
    const auto item = recorded();
    std::optional<Result> edit;
    startEdit(item.id, edit);
    store->setPinned(item.id, true);
    store->setQuickAccess(item.id, true);
    settle();
    ASSERT_TRUE(edit && *edit);
    for (int reopened = 0; reopened < 2; ++reopened) {
        SCOPED_TRACE(reopened ? "read back from disk" : "in memory");
        const CaptureHistoryItem* now = store->item(item.id);
        ASSERT_NE(now, nullptr);
        EXPECT_TRUE(now->isPinned && now->isQuickAccess && now->isAnnotated);
        EXPECT_EQ(std::pair(now->pixelWidth, now->pixelHeight), std::pair(int64_t{50}, int64_t{20}));
        EXPECT_EQ(now->createdAt, item.createdAt);
        open();
    }
}

// A capture deleted while its edit is being written (perhaps because it
// shows a password) stays deleted, and so do its files.
TEST_F(HistoryInterleaving, AnEditInFlightNeverBringsBackARemovedCaptureOrItsFiles) {
    const struct {
        const char* name;
        void (*remove)(CaptureHistoryStore&, const std::string&);
    } removals[] = {
        {"delete", [](CaptureHistoryStore& s, const std::string& id) { s.deleteItem(id); }},
        {"clear", [](CaptureHistoryStore& s, const std::string&) { s.clearAll(); }},
    };
    for (const auto& removal : removals) {
        SCOPED_TRACE(removal.name);
        const auto item = recorded();
        std::optional<Result> edit;
        startEdit(item.id, edit);
        removal.remove(*store, item.id);
        settle();
        ASSERT_TRUE(edit);
        EXPECT_FALSE(*edit);
        EXPECT_EQ(store->item(item.id), nullptr);
        EXPECT_FALSE(has("images/" + item.imageFilename));
        EXPECT_FALSE(has("thumbnails/" + item.thumbnailFilename()));
        open();
        EXPECT_EQ(store->item(item.id), nullptr);
    }
}

TEST_F(HistoryInterleaving, DestroyingTheStoreWithWorkInFlightCancelsItsCompletions) {
    const auto kept = recorded();
    std::vector<std::string> heard;
    const auto note = [&](Result item) { heard.push_back(item ? "item" : "none"); };
    store->record(image(40, 30), std::nullopt, 50, 30, note);
    store->record(image(40, 30), std::nullopt, 50, 30, note);
    store->whenIdle([&](bool written) { heard.push_back(written ? "idle" : "not idle"); });
    store->setPinned(kept.id, true);  // an index write in flight too
    ASSERT_GT(background.pending(), 0u);
    store.reset();
    settle();  // the writes finish; nothing comes back to the store
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard, (std::vector<std::string>{"none", "none", "not idle"}));

    open();
    store->shutdown();
    std::optional<Result> late;
    store->record(image(40, 30), std::nullopt, 50, 30, [&](Result item) { late = std::move(item); });
    settle();
    ASSERT_TRUE(late);
    EXPECT_FALSE(*late);
}

}  // namespace
}  // namespace tessarin
