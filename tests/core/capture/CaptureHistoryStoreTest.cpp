// The capture history: recording, edits, retention, deletion, pins, start-up
// garbage collection and what a damaged or unwritable folder does.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "HistoryTestSupport.h"
#include "core/capture/CaptureHistoryAdmission.h"
#include "core/capture/HistoryRetention.h"
#include "core/capture/Thumbnail.h"
#include "core/capture/Uuid.h"
#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "render/ImageDecoder.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using Ids = std::vector<std::string>;

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
    EXPECT_EQ(history.ids(), (Ids{second->id, first->id}));
    EXPECT_EQ(decodeImageFile(history.path("thumbnails/" + first->id + ".jpg"))->width(), 440u);
    EXPECT_EQ(decodeImageFile(history.path("images/" + first->id + ".png"))->width(), 900u);
    const auto before = store.items();
    history.open();
    EXPECT_EQ(history.store->items(), before);
}

TEST_F(CaptureHistory, EditReplacesTheItemInPlaceWithItsNewSize) {
    auto& store = history.open();
    const auto edited = history.record(100, 80);
    const auto newer = history.record();
    ASSERT_TRUE(history.replace(edited->id, 50, 20));
    // Flags, size and date kept across a reopen: HistoryInterleaving.
    ASSERT_EQ(history.ids(), (Ids{newer->id, edited->id}));
    EXPECT_TRUE(test::samePixels(*decodeImageFile(*store.fileURL(store.items()[1])), test::noiseImage(50, 20, 77)));
    EXPECT_FALSE(history.replace(newUUIDString(), 50, 20));
}

TEST_F(CaptureHistory, RetentionEvictsByCountAndAgeButSparesPinnedAndQuickAccess) {
    auto& store = history.open();
    Ids ids;
    for (int i = 0; i < 5; ++i) ids.push_back(history.record()->id);
    store.prune(3, 30);
    history.idle();
    EXPECT_EQ(history.removals.notifications, std::vector<Ids>{(Ids{ids[1], ids[0]})});
    EXPECT_FALSE(history.has("thumbnails/" + ids[0] + ".jpg") || history.has("images/" + ids[0] + ".png"));

    const auto item = [](const char* id, double createdAt, bool pinned = false, bool shown = false) {
        return CaptureHistoryItem{id, {}, createdAt, {}, 0, 0, {}, pinned, false, shown};
    };
    const std::vector<CaptureHistoryItem> items{item("p", 0, true), item("a", 90), item("q", 1, false, true),
                                                item("b", 100), item("c", 10)};
    EXPECT_EQ(HistoryRetention::itemsToEvict(items, 1, 1000, 100), (Ids{"a", "c"}));
    EXPECT_EQ(HistoryRetention::itemsToEvict(items, 10, 50, 100), Ids{"c"});
    EXPECT_EQ(HistoryRetention::itemsToEvict(items, 10, 90, 100), Ids{});  // exactly the maximum age stays
    EXPECT_EQ(HistoryRetention::fullResolutionItemsToEvict(items, 2), Ids{"c"});
}

TEST_F(CaptureHistory, OnlyTheTenMostRecentKeepTheirFullResolutionImage) {
    auto& store = history.open();
    Ids ids;
    for (int i = 0; i < 11; ++i) ids.push_back(history.record()->id);
    EXPECT_FALSE(history.has("images/" + ids[0] + ".png"));
    EXPECT_EQ(store.fileURL(*store.item(ids[0])), history.path("thumbnails/" + ids[0] + ".jpg"));
    EXPECT_EQ(store.fileURL(*store.item(ids[1])), history.path("images/" + ids[1] + ".png"));
    const auto loaded = runAsyncOnMain<DecodeResult>(history.loop, [&](auto done) { store.loadImageAsync(ids[0], std::move(done)); });
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width(), 40u);  // the thumbnail: a 40x30 capture is its own thumbnail
    EXPECT_FALSE(runAsyncOnMain<DecodeResult>(history.loop, [&](auto done) { store.loadThumbnailAsync("gone", std::move(done)); }));

    // Pins follow the set of open pins.
    store.reconcilePinnedIDs({ids[5], "not-in-history"});
    history.idle();
    EXPECT_EQ(std::ranges::count_if(store.items(), [](const auto& i) { return i.isPinned; }), 1);
    EXPECT_TRUE(store.item(ids[5])->isPinned);
}

TEST_F(CaptureHistory, DeleteAndClearRemoveFilesAndTellObservers) {
    auto& store = history.open();
    const auto a = history.record(), b = history.record(), c = history.record();
    store.setPinned(c->id, true);
    store.deleteItem(a->id);
    history.idle();
    EXPECT_EQ(history.removals.notifications.back(), Ids{a->id});
    EXPECT_FALSE(history.has("images/" + a->id + ".png"));
    store.clearAll();
    history.idle();
    EXPECT_EQ(history.removals.notifications.back(), (Ids{c->id, b->id}));
    EXPECT_TRUE(fs::is_empty(history.path("images")) && fs::is_empty(history.path("thumbnails")));
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
    Ids left;
    for (const char* sub : {"images", "thumbnails"})
        for (const auto& entry : fs::directory_iterator(history.path(sub))) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Ids{kept->id + ".jpg", kept->id + ".png", "folder"}));
}

TEST_F(CaptureHistory, AnUnreadableIndexIsKeptAsideAndNoImageIsEverCollected) {
    history.open();
    const auto old = history.record();
    test::writeFile(history.path("index.json"), {'{', '"', 'i', 't'});
    history.open();
    EXPECT_TRUE(history.store->items().empty() && !history.store->collectedGarbage());
    int asides = 0;
    for (const auto& entry : fs::directory_iterator(history.path("")))
        asides += entry.path().filename().string().starts_with("index.json.corrupt-");
    EXPECT_EQ(asides, 1);

    // A fresh index; the images the lost one listed are kept while its copy waits for a person.
    const auto next = history.record();
    history.open();
    EXPECT_TRUE(history.ids() == Ids{next->id} && !history.store->collectedGarbage());
    EXPECT_TRUE(history.has("images/" + old->id + ".png") && history.has("thumbnails/" + old->id + ".jpg"));
}

// ---- a full or read-only disk ----------------------------------------------

struct DiskFaults {
    bool failImages = false, failPng = false, failIndex = false;
} diskFaults;

// Images and the index are all written relative to their folder.
const FileSystemCalls failingCalls = {
    .openat = [](int folder, const char* name, int flags, mode_t mode) {
        const std::string text = name;
        const bool isIndex = text.find(".index.json.tmp-") != std::string::npos;
        if (diskFaults.failPng && text.find(".png.tmp-") != std::string::npos) return errno = EIO, -1;
        if ((flags & O_CREAT) && (isIndex ? diskFaults.failIndex : diskFaults.failImages)) return errno = ENOSPC, -1;
        return ::openat(folder, name, flags, mode);
    },
};

struct LogLines final : LogSink {
    void write(LogLevel, std::string_view, std::string_view message) override { lines.emplace_back(message); }
    std::vector<std::string> lines;
    ScopedLogSink installed{*this};  // last: uninstalled first
};

TEST(CaptureHistoryDisk, AFullDiskDropsTheCaptureAndLeavesTheIndexWhole) {
    testing::TempDir folder;
    LogLines log;
    test::HistoryHarness history(folder / "History", failingCalls);
    diskFaults = {};
    auto& store = history.open();
    const auto kept = history.record();
    const std::string index = history.indexText();

    diskFaults.failImages = true;
    EXPECT_FALSE(history.record());
    EXPECT_TRUE(store.items().size() == 1 && history.indexText() == index);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_TRUE(log.lines.back().starts_with("history image write failed for ") &&
                log.lines.back().ends_with(errnoText(ENOSPC))) << log.lines.back();

    // The thumbnail fits, the full image does not: no new file left, an edit keeps the old image.
    diskFaults = {.failPng = true};
    EXPECT_FALSE(history.record());
    EXPECT_EQ(std::distance(fs::directory_iterator(history.path("thumbnails")), fs::directory_iterator()), 1);
    EXPECT_FALSE(history.replace(kept->id, 5, 5));
    EXPECT_EQ(decodeImageFile(history.path("images/" + kept->id + ".png"))->width(), 40u);
    EXPECT_FALSE(store.items()[0].isAnnotated);

    // The index does not fit: memory keeps the capture until the next successful write.
    diskFaults = {.failIndex = true};
    const auto pending = history.record();
    ASSERT_TRUE(pending);
    EXPECT_TRUE(!history.idle() && history.indexText() == index);
    diskFaults = {};
    const auto last = history.record();
    EXPECT_TRUE(history.idle());
    history.open();
    EXPECT_EQ(history.ids(), (Ids{last->id, pending->id, kept->id}));
    EXPECT_TRUE(std::ranges::any_of(log.lines, [](const auto& line) { return line.starts_with("index write failed at "); }));
}

// ---- admission ---------------------------------------------------------------

TEST_F(CaptureHistory, AdmissionTicketsResolveOnceForEveryConsumerAndEditsMergeIntoTheItem) {
    auto& store = history.open();
    HistorySettings settings;
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
    Ids seen;
    for (int i = 0; i < 2; ++i) ticket->value([&](CapturePersistenceTicket::Result item) { seen.push_back(item ? item->id : "none"); });
    auto edited = std::make_shared<const Image>(test::noiseImage(10, 10, 6));
    const auto merged = runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        admission.mergeEdited(ticket, edited, std::move(done));
    });
    history.idle();
    ASSERT_TRUE(merged);
    EXPECT_EQ(seen, (Ids{merged->id, merged->id}));
    ASSERT_EQ(store.items().size(), 1u);
    const auto& item = store.items()[0];
    EXPECT_TRUE(item.isAnnotated && item.sourceMode == CaptureMode::scrolling && item.pixelWidth == 10);
}

// An edit finished after its item left the history is not lost: it becomes a capture of its own.
TEST_F(CaptureHistory, AdmissionAnEditWhoseItemWasDeletedIsRecordedAsANewCapture) {
    auto& store = history.open();
    CaptureHistoryAdmission admission(store, history.loop, [] { return HistorySettings{}; });
    const auto ticket = admission.admit(std::make_shared<const Image>(test::noiseImage(30, 20, 5)), std::nullopt);
    const auto original = runAsyncOnMain<CapturePersistenceTicket::Result>(history.loop, [&](auto done) { ticket->value(std::move(done)); });
    ASSERT_TRUE(original);
    store.deleteItem(original->id);
    history.idle();
    ASSERT_TRUE(store.items().empty());

    auto edited = std::make_shared<const Image>(test::noiseImage(12, 8, 6));
    const auto merged = runAsyncOnMain<CaptureHistoryStore::Result>(history.loop, [&](auto done) {
        admission.mergeEdited(ticket, edited, std::move(done));
    });
    history.idle();
    ASSERT_TRUE(merged);
    EXPECT_NE(merged->id, original->id);
    ASSERT_EQ(store.items().size(), 1u);
    EXPECT_EQ(store.items()[0].pixelWidth, 12);
}

// ---- thumbnails -----------------------------------------------------------------

TEST(ThumbnailTest, FitsTheBoundsWithoutEnlargingAndAveragesInPremultipliedAlpha) {
    const struct {
        ThumbnailSize image, expected;
    } sizes[] = {
        {{1920, 1080}, {440, 247}}, {{100, 50}, {100, 50}}, {{10000, 1}, {440, 1}}, {{0, 5}, {0, 0}},
    };
    for (const auto& c : sizes) EXPECT_EQ(thumbnailSize(c.image, {440, 330}), c.expected) << c.image.width;

    // Transparent black beside opaque white gives white at half alpha, not grey.
    const auto reduced = [](std::vector<test::Rgba> pixels, ThumbnailSize to) {
        const Image source = test::makeImage(uint32_t(pixels.size()), 1, [&](uint32_t x, uint32_t) { return pixels[x]; });
        const auto out = makeThumbnail(source, to);
        return out ? std::vector<uint8_t>(out->bytes().begin(), out->bytes().end()) : std::vector<uint8_t>{};
    };
    const test::Rgba black{0, 0, 0, 255}, white{255, 255, 255, 255}, clear{0, 0, 0, 0};
    EXPECT_EQ(reduced({black, white, black, white}, {2, 1}), (std::vector<uint8_t>{128, 128, 128, 255, 128, 128, 128, 255}));
    EXPECT_EQ(reduced({clear, white}, {1, 1}), (std::vector<uint8_t>{255, 255, 255, 128}));
    EXPECT_EQ(reduced({{0, 0, 0, 255}, {90, 0, 0, 255}, {180, 0, 0, 255}}, {2, 1}),
              (std::vector<uint8_t>{30, 0, 0, 255, 150, 0, 0, 255}));  // (90 * 0.5) / 1.5, (90 * 0.5 + 180) / 1.5
}

}  // namespace
}  // namespace tessarin
