// The capture history: recording, edits, retention, deletion, pins, start-up
// garbage collection and what a damaged or unwritable folder does.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <utime.h>

#include <cerrno>
#include <cstring>

#include "HistoryTestSupport.h"
#include "core/capture/CaptureHistoryAdmission.h"
#include "core/capture/HistoryPreferences.h"
#include "core/capture/HistoryRetention.h"
#include "core/common/Log.h"
#include "core/capture/Thumbnail.h"
#include "core/capture/Uuid.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> idsOf(const std::vector<CaptureHistoryItem>& items) {
    std::vector<std::string> ids;
    for (const auto& item : items) ids.push_back(item.id);
    return ids;
}

class CaptureHistory : public ::testing::Test {
protected:
    testing::TempDir folder;
    test::HistoryHarness history{folder / "History"};
};

TEST_F(CaptureHistory, RecordsFilesAndAnIndexThatReadsBackInTheSameOrder) {
    auto& store = history.open();
    const auto first = history.record(900, 600);
    const auto second = history.record(40, 30);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(fs::status(history.path("")).permissions(), fs::perms::owner_all);
    EXPECT_TRUE(isUUIDString(first->id));
    EXPECT_EQ(first->imageFilename, first->id + ".png");
    EXPECT_EQ(first->captureID, "CAFE0001");
    EXPECT_EQ(first->sourceMode, CaptureMode::window);
    EXPECT_EQ(idsOf(store.items()), (std::vector<std::string>{second->id, first->id}));
    const auto thumbnail = decodeImageFile(history.path("thumbnails/" + first->id + ".jpg"));
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->width(), 440u);
    EXPECT_EQ(thumbnail->height(), 293u);
    EXPECT_EQ(decodeImageFile(history.path("images/" + first->id + ".png"))->width(), 900u);
    EXPECT_NE(history.indexText().find("{\"id\":\"" + second->id + "\",\"captureID\":\"CAFE0001\",\"createdAt\":"),
              std::string::npos);

    const auto before = store.items();
    history.open();
    EXPECT_EQ(history.store->items(), before);
}

TEST_F(CaptureHistory, EditReplacesTheItemInPlaceWithItsNewSize) {
    auto& store = history.open();
    const auto edited = history.record(100, 80);
    const auto newer = history.record();
    auto cropped = std::make_shared<const Image>(test::noiseImage(50, 20, 77));
    const auto result = runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        store.replaceImage(edited->id, cropped, 50, 30, std::move(done));
    });
    history.idle();
    ASSERT_TRUE(result);
    ASSERT_EQ(idsOf(store.items()), (std::vector<std::string>{newer->id, edited->id}));
    EXPECT_TRUE(store.items()[1].isAnnotated);
    EXPECT_EQ(store.items()[1].pixelWidth, 50);
    EXPECT_EQ(store.items()[1].createdAt, edited->createdAt);
    EXPECT_TRUE(test::samePixels(*decodeImageFile(*store.fileURL(store.items()[1])), *cropped));
    history.open();
    EXPECT_EQ(history.store->items().size(), 2u);
    EXPECT_FALSE(runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        history.store->replaceImage(newUUIDString(), cropped, 50, 30, std::move(done));
    }));
}

TEST_F(CaptureHistory, RetentionEvictsByCountAndAgeButSparesPinnedAndQuickAccess) {
    auto& store = history.open();
    std::vector<std::string> ids;
    for (int i = 0; i < 5; ++i) ids.push_back(history.record()->id);
    store.prune(3, 30);
    history.idle();
    ASSERT_EQ(history.removals.notifications.size(), 1u);
    EXPECT_EQ(history.removals.notifications[0], (std::vector<std::string>{ids[1], ids[0]}));
    EXPECT_FALSE(fs::exists(history.path("thumbnails/" + ids[0] + ".jpg")));
    EXPECT_FALSE(fs::exists(history.path("images/" + ids[0] + ".png")));

    store.setPinned(ids[2], true);
    store.setQuickAccess(ids[3], true);
    history.clock += 40 * 86400.0;
    store.prune(3, 30);
    history.idle();
    EXPECT_EQ(idsOf(store.items()), (std::vector<std::string>{ids[3], ids[2]}));
    EXPECT_EQ(store.quickAccessItems().size(), 1u);

    const auto item = [](const char* id, double createdAt, bool pinned = false, bool shown = false) {
        CaptureHistoryItem entry;
        entry.id = id;
        entry.createdAt = createdAt;
        entry.isPinned = pinned;
        entry.isQuickAccess = shown;
        return entry;
    };
    const std::vector<CaptureHistoryItem> items{item("p", 0, true), item("a", 90), item("q", 1, false, true),
                                                item("b", 100), item("c", 10)};
    EXPECT_EQ(HistoryRetention::itemsToEvict(items, 1, 1000, 100), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(HistoryRetention::itemsToEvict(items, 10, 50, 100), (std::vector<std::string>{"c"}));
    EXPECT_EQ(HistoryRetention::fullResolutionItemsToEvict(items, 2), (std::vector<std::string>{"c"}));
}

TEST_F(CaptureHistory, OnlyTheTenMostRecentKeepTheirFullResolutionImage) {
    auto& store = history.open();
    std::vector<std::string> ids;
    for (int i = 0; i < 11; ++i) ids.push_back(history.record()->id);
    const CaptureHistoryItem oldest = *store.item(ids[0]);
    EXPECT_FALSE(fs::exists(history.path("images/" + ids[0] + ".png")));
    EXPECT_EQ(store.fileURL(oldest), history.path("thumbnails/" + ids[0] + ".jpg"));
    EXPECT_EQ(store.fileURL(*store.item(ids[1])), history.path("images/" + ids[1] + ".png"));
    const auto loaded = runAsyncOnMain<DecodeResult>(history.loop, [&](auto done) { store.loadImageAsync(ids[0], std::move(done)); });
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width(), 40u);  // the thumbnail: a 40x30 capture is its own thumbnail
    EXPECT_FALSE(runAsyncOnMain<DecodeResult>(history.loop, [&](auto done) { store.loadThumbnailAsync("gone", std::move(done)); }));

    // Pins follow the set of open pins; pinned items do not count.
    store.reconcilePinnedIDs({ids[5], "not-in-history"});
    history.idle();
    EXPECT_TRUE(store.item(ids[5])->isPinned);
    EXPECT_EQ(std::count_if(store.items().begin(), store.items().end(), [](const auto& i) { return i.isPinned; }), 1);
}

TEST_F(CaptureHistory, DeleteAndClearRemoveFilesAndTellObservers) {
    auto& store = history.open();
    const auto a = history.record();
    const auto b = history.record();
    const auto c = history.record();
    store.setPinned(c->id, true);
    store.deleteItem(a->id);
    history.idle();
    EXPECT_EQ(history.removals.notifications.back(), std::vector<std::string>{a->id});
    EXPECT_FALSE(fs::exists(history.path("images/" + a->id + ".png")));
    store.clearAll();
    history.idle();
    EXPECT_EQ(history.removals.notifications.back(), (std::vector<std::string>{c->id, b->id}));
    EXPECT_TRUE(store.items().empty());
    EXPECT_TRUE(fs::is_empty(history.path("images")));
    EXPECT_TRUE(fs::is_empty(history.path("thumbnails")));
    history.open();
    EXPECT_TRUE(history.store->items().empty());
}

TEST_F(CaptureHistory, StartUpRemovesOnlyFilesNoItemNames) {
    history.open();
    const auto kept = history.record();
    test::writeFile(history.path("images/stray.png"), {1});
    test::writeFile(history.path("thumbnails/" + newUUIDString() + ".jpg"), {1});
    fs::create_directory(history.path("images/folder"));
    history.open();
    EXPECT_TRUE(history.store->collectedGarbage());
    std::vector<std::string> left;
    for (const char* sub : {"images", "thumbnails"})
        for (const auto& entry : fs::directory_iterator(history.path(sub))) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{kept->id + ".jpg", kept->id + ".png", "folder"}));
}

TEST_F(CaptureHistory, AnUnreadableIndexIsKeptAsideAndNoImageIsEverCollected) {
    history.open();
    const auto old = history.record();
    test::writeFile(history.path("index.json"), {'{', '"', 'i', 't'});
    history.open();
    EXPECT_TRUE(history.store->items().empty());
    EXPECT_FALSE(history.store->collectedGarbage());
    EXPECT_TRUE(fs::exists(history.path("images/" + old->id + ".png")));
    int asides = 0;
    for (const auto& entry : fs::directory_iterator(history.path("")))
        asides += entry.path().filename().string().starts_with("index.json.corrupt-");
    EXPECT_EQ(asides, 1);

    // The next capture writes a fresh index; the next start still keeps the
    // images the lost index listed while its copy waits for a person.
    const auto next = history.record();
    history.open();
    EXPECT_EQ(idsOf(history.store->items()), std::vector<std::string>{next->id});
    EXPECT_FALSE(history.store->collectedGarbage());
    EXPECT_TRUE(fs::exists(history.path("images/" + old->id + ".png")));
    EXPECT_TRUE(fs::exists(history.path("thumbnails/" + old->id + ".jpg")));
}

TEST_F(CaptureHistory, OlderIndexesWithoutOptionalKeysLoad) {
    const std::string id = newUUIDString();
    fs::create_directories(history.path(""));
    std::ofstream(history.path("index.json"))
        << R"({"items":[{"id":")" << id << R"(","createdAt":12.5,"imageFilename":")" << id
        << R"(.png","pixelWidth":4,"pixelHeight":3,"isPinned":true,"isAnnotated":false,"extra":[1]}]})";
    history.open();
    ASSERT_EQ(history.store->items().size(), 1u);
    const auto& item = history.store->items()[0];
    EXPECT_FALSE(item.captureID);
    EXPECT_FALSE(item.sourceMode);
    EXPECT_FALSE(item.isQuickAccess);
    EXPECT_TRUE(item.isPinned);
    EXPECT_EQ(item.createdAt, 12.5);
}

// ---- a full or read-only disk ----------------------------------------------

struct DiskFaults {
    bool failImages = false;
    bool failPng = false;
    bool failIndex = false;
} diskFaults;

const FileSystemCalls failingCalls = {
    [](const char* path, int flags, mode_t mode) {
        const bool isIndex = std::string(path).find(".index.json.tmp-") != std::string::npos;
        const bool isDirectory = (flags & O_DIRECTORY) != 0;
        if (diskFaults.failPng && std::string(path).find(".png.tmp-") != std::string::npos) {
            errno = EIO;
            return -1;
        }
        if (!isDirectory && ((isIndex && diskFaults.failIndex) || (!isIndex && diskFaults.failImages))) {
            errno = ENOSPC;
            return -1;
        }
        return ::open(path, flags, mode);
    },
    ::write, ::fsync, ::close, ::rename,
};

struct LogLines final : LogSink {
    void write(LogLevel, std::string_view, std::string_view message) override { lines.emplace_back(message); }
    std::vector<std::string> lines;
};

TEST(CaptureHistoryDisk, AFullDiskDropsTheCaptureAndLeavesTheIndexWhole) {
    testing::TempDir folder;
    LogLines log;
    LogSink* previous = setLogSink(&log);
    test::HistoryHarness history(folder / "History", failingCalls);
    diskFaults = {};
    auto& store = history.open();
    const auto kept = history.record();
    const std::string index = history.indexText();

    diskFaults.failImages = true;
    EXPECT_FALSE(history.record());
    EXPECT_EQ(store.items().size(), 1u);
    EXPECT_EQ(history.indexText(), index);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_TRUE(log.lines.back().starts_with("history image write failed for ")) << log.lines.back();
    EXPECT_TRUE(log.lines.back().ends_with(std::strerror(ENOSPC))) << log.lines.back();

    // The thumbnail fits, the full image does not: a new capture leaves no
    // file behind, an edit leaves the capture's own image in place.
    diskFaults = {.failPng = true};
    EXPECT_FALSE(history.record());
    EXPECT_EQ(std::distance(fs::directory_iterator(history.path("thumbnails")), fs::directory_iterator()), 1);
    EXPECT_FALSE(runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        store.replaceImage(kept->id, std::make_shared<const Image>(test::noiseImage(5, 5, 1)), 50, 30, std::move(done));
    }));
    EXPECT_EQ(decodeImageFile(history.path("images/" + kept->id + ".png"))->width(), 40u);
    EXPECT_FALSE(store.items()[0].isAnnotated);

    // The images fit but the index does not: memory keeps the capture and
    // the next successful write carries it to disk.
    diskFaults = {.failIndex = true};
    const auto pending = history.record();
    ASSERT_TRUE(pending);
    EXPECT_FALSE(history.idle());
    EXPECT_EQ(history.indexText(), index);
    diskFaults = {};
    const auto last = history.record();
    EXPECT_TRUE(history.idle());
    history.open();
    EXPECT_EQ(idsOf(history.store->items()), (std::vector<std::string>{last->id, pending->id, kept->id}));
    EXPECT_NE(std::find_if(log.lines.begin(), log.lines.end(),
                           [](const auto& line) { return line.starts_with("index write failed at "); }),
              log.lines.end());
    setLogSink(previous);
}

// ---- admission ---------------------------------------------------------------

TEST(CaptureHistoryAdmissionTest, TicketsResolveOnceForEveryConsumerAndEditsMergeIntoTheItem) {
    testing::TempDir folder;
    test::HistoryHarness history(folder / "History");
    auto& store = history.open();
    InMemoryKeyValueStore values;
    AppPreferences preferences(values);
    preferences.setHistoryMaxCount(900);
    HistorySettings settings = historySettings(preferences);
    EXPECT_EQ(settings.maxCount, 500);
    EXPECT_EQ(settings.maxAgeDays, 30);
    EXPECT_TRUE(settings.enabled && !settings.paused);
    CaptureHistoryAdmission admission(store, history.loop, [&] { return settings; });
    auto image = std::make_shared<const Image>(test::noiseImage(30, 20, 5));

    for (const HistorySettings off : {HistorySettings{.enabled = false}, HistorySettings{.paused = true}}) {
        settings = off;
        const auto ticket = admission.admit(image, std::nullopt);
        EXPECT_TRUE(ticket->isResolved());
        EXPECT_FALSE(runAsyncOnMain<CapturePersistenceTicket::Result>(history.loop, [&](auto done) { ticket->value(std::move(done)); }));
    }
    EXPECT_TRUE(store.items().empty());

    settings = {};
    const auto ticket = admission.admit(image, CaptureSessionInfo{"0123ABCD", CaptureMode::scrolling});
    std::vector<std::string> seen;
    for (int i = 0; i < 2; ++i) ticket->value([&](CapturePersistenceTicket::Result item) { seen.push_back(item ? item->id : "none"); });
    auto edited = std::make_shared<const Image>(test::noiseImage(10, 10, 6));
    const auto merged = runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        admission.mergeEdited(ticket, edited, std::move(done));
    });
    history.idle();
    ASSERT_TRUE(merged);
    EXPECT_EQ(seen, (std::vector<std::string>{merged->id, merged->id}));
    ASSERT_EQ(store.items().size(), 1u);
    EXPECT_TRUE(store.items()[0].isAnnotated);
    EXPECT_EQ(store.items()[0].sourceMode, CaptureMode::scrolling);
    EXPECT_EQ(store.items()[0].pixelWidth, 10);
}

// ---- thumbnails -----------------------------------------------------------------

TEST(ThumbnailTest, FitsTheBoundsWithoutEnlargingAndAveragesInPremultipliedAlpha) {
    const struct {
        PixelSize image, expected;
    } sizes[] = {
        {{1920, 1080}, {440, 247}}, {{100, 50}, {100, 50}}, {{10000, 1}, {440, 1}},
        {{1, 10000}, {1, 330}},     {{880, 660}, {440, 330}}, {{0, 5}, {0, 0}},
    };
    for (const auto& c : sizes) EXPECT_EQ(thumbnailSize(c.image, {440, 330}), c.expected) << c.image.width;

    // Black/white columns halve to grey; a transparent black pixel beside
    // an opaque white one gives white at half alpha, not grey.
    const Image stripes = test::makeImage(4, 2, [](uint32_t x, uint32_t) {
        return x % 2 ? test::Rgba{255, 255, 255, 255} : test::Rgba{0, 0, 0, 255};
    });
    const auto grey = makeThumbnail(stripes, {2, 1});
    ASSERT_TRUE(grey);
    EXPECT_EQ(std::vector<uint8_t>(grey->bytes().begin(), grey->bytes().end()),
              (std::vector<uint8_t>{128, 128, 128, 255, 128, 128, 128, 255}));
    const Image edge = test::makeImage(2, 1, [](uint32_t x, uint32_t) {
        return x ? test::Rgba{255, 255, 255, 255} : test::Rgba{0, 0, 0, 0};
    });
    const auto half = makeThumbnail(edge, {1, 1});
    EXPECT_EQ(std::vector<uint8_t>(half->bytes().begin(), half->bytes().end()), (std::vector<uint8_t>{255, 255, 255, 128}));
    // A 3-to-2 reduction weighs the middle source pixel half to each side.
    const Image ramp = test::makeImage(3, 1, [](uint32_t x, uint32_t) {
        return test::Rgba{uint8_t(x * 90), 0, 0, 255};
    });
    const auto two = makeThumbnail(ramp, {2, 1});
    EXPECT_EQ(two->row(0)[0], 30);  // (0 * 1 + 90 * 0.5) / 1.5
    EXPECT_EQ(two->row(0)[4], 150);  // (90 * 0.5 + 180 * 1) / 1.5
}

}  // namespace
}  // namespace tessarin
