#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cerrno>

#include "core/pins/PinStore.h"
#include "PinTestSupport.h"

namespace tessarin {
namespace {

using test::PinHarness;
namespace fs = std::filesystem;

const std::string kA = "0F8E2B1C-0000-4000-8000-00000000000A";
const std::string kB = "0F8E2B1C-0000-4000-8000-00000000000B";

TEST(PinIndexCodec, RoundTripsAndReadsAbsentListsAsEmpty) {
    PinStoreIndex index;
    index.pins.push_back({kA, Rect{10.5, 20, 300, 200}, 7});
    index.recentlyClosed.push_back({kB, Rect{0, 0, 160, 90}, 1});
    const auto parsed = PinIndexCodec::parse(PinIndexCodec::serialize(index));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->index, index);
    EXPECT_TRUE(PinIndexCodec::parse("{}")->index.pins.empty());
    EXPECT_TRUE(PinIndexCodec::serialize(index).starts_with("{\"pins\":[{\"id\":\"" + kA + "\",\"x\":10.5,"));
}

TEST(PinIndexCodec, DropsUnsafeIdsAndResetsUnusableFrames) {
    const std::string text = R"({"pins":[
        {"id":"../../../home/user/.bashrc","x":0,"y":0,"width":10,"height":10,"screenID":1},
        {"id":")" + kA + R"(","x":0,"y":0,"width":-5,"height":10,"screenID":1},
        {"id":")" + kB + R"(","x":"left","y":0,"width":5,"height":10},
        17],
      "recentlyClosed":[{"id":")" + kA + R"(","x":1,"y":2,"width":3,"height":4,"screenID":1}]})";
    const auto parsed = PinIndexCodec::parse(text);
    ASSERT_TRUE(parsed) << parsed.error();
    EXPECT_EQ(parsed->droppedUnsafeIDs, 1u);
    EXPECT_EQ(parsed->droppedOther, 2u);  // the number, and kA listed as closed too
    EXPECT_EQ(parsed->framesReset, 2u);
    ASSERT_EQ(parsed->index.pins.size(), 2u);
    EXPECT_FALSE(parsed->index.pins[0].frame);
    EXPECT_FALSE(parsed->index.pins[1].frame);
    EXPECT_TRUE(parsed->index.recentlyClosed.empty());  // one id is never open and closed at once
}

TEST(PinIndexCodec, RefusesWhatIsNotAnIndex) {
    for (const char* text : {"", "[]", "{\"pins\":3}", "{\"recentlyClosed\":{}}", "{\"pins\":[", "nul"}) {
        EXPECT_FALSE(PinIndexCodec::parse(text)) << text;
    }
}

TEST(PinStore, ClosingTwelvePinsKeepsTheTenNewestAndDeletesTheTwoOldestImages) {
    PinHarness h;
    h.open();
    std::vector<std::string> ids;
    for (int i = 0; i < 12; ++i) ids.push_back(h.add());
    for (const auto& id : ids) h.store->closePin(id, Rect{1, 2, 300, 200}, 1);
    h.settle();
    const PinStoreIndex written = h.onDisk();
    EXPECT_TRUE(written.pins.empty());
    ASSERT_EQ(written.recentlyClosed.size(), 10u);
    EXPECT_EQ(written.recentlyClosed.front().id, ids[2]);
    EXPECT_EQ(written.recentlyClosed.back().id, ids[11]);
    EXPECT_FALSE(h.hasImage(ids[0]));
    EXPECT_FALSE(h.hasImage(ids[1]));
    for (size_t i = 2; i < ids.size(); ++i) EXPECT_TRUE(h.hasImage(ids[i]));
}

TEST(PinStore, ManyMovesWithinThePauseCostOneWrite) {
    PinHarness h;
    h.open();
    const std::string id = h.add();
    h.settle();
    const size_t before = h.store->indexWrites();
    for (int i = 0; i < 100; ++i) {
        h.clock.advance(std::chrono::milliseconds(16), h.loop);
        h.store->updatePinFrame(id, Rect{double(i), 0, 300, 200}, 1);
    }
    EXPECT_EQ(h.store->indexWrites(), before);
    h.clock.advance(std::chrono::milliseconds(399), h.loop);
    EXPECT_EQ(h.store->indexWrites(), before);
    h.clock.advance(std::chrono::milliseconds(1), h.loop);
    EXPECT_EQ(h.store->indexWrites(), before + 1);
    EXPECT_EQ(h.onDisk().pins.at(0).frame, (Rect{99, 0, 300, 200}));
}

TEST(PinStore, AFailedWriteIsTriedAgainWithGrowingPausesUntilItLands) {
    PinHarness h;
    h.open();
    const std::string id = h.add();
    // The lock file cannot be opened while a folder stands in its place.
    fs::create_directories(h.root() / "index.json.lock");
    h.clock.advance(std::chrono::milliseconds(400), h.loop);
    EXPECT_EQ(h.store->indexWrites(), 1u);
    h.clock.advance(std::chrono::milliseconds(1000), h.loop);
    EXPECT_EQ(h.store->indexWrites(), 2u);  // after 1 s, with no other change
    h.clock.advance(std::chrono::milliseconds(1999), h.loop);
    EXPECT_EQ(h.store->indexWrites(), 2u);  // the next pause is 2 s
    fs::remove(h.root() / "index.json.lock");
    h.clock.advance(std::chrono::milliseconds(1), h.loop);
    EXPECT_EQ(h.store->indexWrites(), 3u);
    ASSERT_EQ(h.onDisk().pins.size(), 1u);
    EXPECT_EQ(h.onDisk().pins[0].id, id);
    EXPECT_EQ(h.clock.pending(), 0u);  // no retry once written
}

TEST(PinStore, AnUnreadableIndexIsSetAsideAndNoImageIsCollected) {
    PinHarness h;
    h.writeImage(kA);
    h.writeImage(kB);
    h.writeIndex("{\"pins\": [{\"id\": \"" + kA + "\", trailing garbage");
    h.open();
    EXPECT_FALSE(h.store->collectedGarbage());
    EXPECT_TRUE(h.store->index().pins.empty());
    EXPECT_TRUE(h.hasImage(kA));
    EXPECT_TRUE(h.hasImage(kB));
    // The next start finds the set-aside copy waiting and still collects nothing.
    h.open();
    EXPECT_FALSE(h.store->collectedGarbage());
    EXPECT_TRUE(h.hasImage(kA));
    EXPECT_TRUE(h.hasImage(kB));
    bool setAside = false;
    for (const auto& entry : fs::directory_iterator(h.root())) {
        setAside |= entry.path().filename().string().starts_with("index.json.corrupt-");
    }
    EXPECT_TRUE(setAside);
}

bool failReads = false;
ssize_t failingRead(int fd, void* buffer, size_t count) {
    if (failReads) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count);
}

TEST(PinStore, AnIndexThatReadsAsAnIOErrorIsNeitherCollectedNorOverwritten) {
    PinHarness h;
    const std::string original = R"({"pins":[{"id":")" + kA + R"(","x":0,"y":0,"width":200,"height":100,"screenID":1}]})";
    h.writeIndex(original);
    h.writeImage(kA);
    h.writeImage(kB);  // named by nothing, but GC must not run
    static FileSystemCalls calls = FileSystemCalls::system();
    calls.read = failingRead;
    failReads = true;
    h.open(calls);
    EXPECT_FALSE(h.store->collectedGarbage());
    h.add();
    h.clock.advance(std::chrono::milliseconds(400), h.loop);
    failReads = false;
    EXPECT_EQ(h.indexText(), original);
    EXPECT_TRUE(h.hasImage(kA));
    EXPECT_TRUE(h.hasImage(kB));
    // Once it reads again the retry merges into it: nothing is lost.
    h.clock.advance(std::chrono::milliseconds(1000), h.loop);
    const auto merged = h.onDisk();
    ASSERT_EQ(merged.pins.size(), 2u);
    EXPECT_EQ(merged.pins[0].id, kA);
}

TEST(PinStore, UnsafeIdsAreDroppedAndGarbageCollectionWaits) {
    PinHarness h;
    h.writeImage(kB);
    h.writeIndex(R"({"pins":[{"id":"../escape","x":0,"y":0,"width":10,"height":10,"screenID":1}]})");
    h.open();
    EXPECT_TRUE(h.store->index().pins.empty());
    EXPECT_FALSE(h.store->collectedGarbage());
    EXPECT_TRUE(h.hasImage(kB));
}

TEST(PinStore, AnImageIsDeletedOnlyWhenNoEntryNamesIt) {
    PinHarness h;
    h.open();
    const std::string shared = h.add();
    h.store->closePin(shared, Rect{0, 0, 300, 200}, 1);
    // Pinned again (from the history) while its closed entry exists.
    auto image = std::make_shared<const Image>(test::noiseImage(30, 20, 99));
    h.store->add(shared, image, Rect{5, 5, 300, 200}, 1, [](PinAddResult added) { ASSERT_TRUE(added); });
    h.loop.runAll();
    // Eleven more closings would have evicted the old closed entry.
    for (int i = 0; i < 11; ++i) h.store->closePin(h.add(), Rect{0, 0, 300, 200}, 1);
    h.settle();
    EXPECT_TRUE(h.store->isOpen(shared));
    EXPECT_TRUE(h.hasImage(shared));
    // Forgetting it removes the image once written.
    h.store->forget(shared);
    h.settle();
    EXPECT_FALSE(h.hasImage(shared));
}

TEST(PinStore, GarbageCollectionSparesYoungFiles) {
    PinHarness h;
    h.writeIndex("{}");
    h.writeImage(kA);
    h.writeImage(kB);
    const auto old = (h.root() / "images" / (kA + ".png")).string();
    struct utimbuf hourAgo {};
    hourAgo.actime = hourAgo.modtime = ::time(nullptr) - 3600;
    ASSERT_EQ(::utime(old.c_str(), &hourAgo), 0);
    h.grace = std::chrono::minutes(10);
    h.open();
    EXPECT_TRUE(h.store->collectedGarbage());
    EXPECT_FALSE(h.hasImage(kA));
    EXPECT_TRUE(h.hasImage(kB));
}

TEST(PinStore, TwoCopiesMergeTheirChangesUnderTheLock) {
    PinHarness first;
    PinHarness second(first.root());
    first.open();
    second.open();
    const std::string a = first.add();
    const std::string b = second.add();
    first.settle();
    second.settle();
    const auto merged = first.onDisk();
    ASSERT_EQ(merged.pins.size(), 2u);
    EXPECT_EQ(merged.pins[0].id, a);
    EXPECT_EQ(merged.pins[1].id, b);
    EXPECT_EQ(second.store->index().pins.size(), 2u);
}

TEST(PinStore, ReopeningTheNewestClosedPinWritesAtOnce) {
    PinHarness h;
    h.open();
    const std::string a = h.add();
    const std::string b = h.add();
    h.store->closePin(a, Rect{1, 1, 300, 200}, 1);
    h.store->closePin(b, Rect{2, 2, 300, 200}, 1);
    h.settle();
    const auto reopened = h.store->reopenMostRecentlyClosed();
    h.loop.runAll();
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->id, b);
    EXPECT_EQ(reopened->frame, (Rect{2, 2, 300, 200}));
    const auto written = h.onDisk();  // no pause needed
    ASSERT_EQ(written.pins.size(), 1u);
    EXPECT_EQ(written.pins[0].id, b);
    EXPECT_EQ(written.recentlyClosed.size(), 1u);
}

TEST(PinStore, AtQuitPendingChangesAreWrittenAtOnceEvenWithAWriteInFlight) {
    PinHarness h;
    h.open();
    const std::string a = h.add();
    h.store->flushNow();  // posted to the background, not yet run
    h.store->closePin(a, Rect{4, 4, 300, 200}, 1);
    ASSERT_TRUE(h.store->writePendingNow());
    EXPECT_EQ(h.onDisk().recentlyClosed.size(), 1u);
    h.loop.runAll();  // the write in flight stands down
    const auto written = h.onDisk();
    EXPECT_TRUE(written.pins.empty());
    ASSERT_EQ(written.recentlyClosed.size(), 1u);
    EXPECT_EQ(written.recentlyClosed[0].frame, (Rect{4, 4, 300, 200}));
}

TEST(PinStore, LoadingTellsAMissingFileFromAnUnreadableOne) {
    PinHarness h;
    h.open();
    const std::string good = h.add();
    h.writeImage(kA);  // not an image
    std::vector<PinImage> loads;
    for (const auto& id : {good, kA, kB}) {
        h.store->loadImageAsync(id, [&loads](PinImage loaded) { loads.push_back(std::move(loaded)); });
    }
    h.loop.runAll();
    ASSERT_EQ(loads.size(), 3u);
    EXPECT_EQ(loads[0].kind, PinImage::Kind::loaded);
    EXPECT_EQ(loads[0].image->width(), 30u);
    EXPECT_EQ(loads[1].kind, PinImage::Kind::unreadable);
    EXPECT_TRUE(loads[1].reason.starts_with("Failed to decode screenshot image")) << loads[1].reason;
    EXPECT_EQ(loads[2].kind, PinImage::Kind::missing);
}

}  // namespace
}  // namespace tessarin
