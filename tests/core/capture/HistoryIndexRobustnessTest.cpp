// The history index against crashes, a second process and hostile files.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <random>
#include <set>

#include "HistoryTestSupport.h"
#include "core/capture/Uuid.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

std::vector<CaptureHistoryItem> someItems(size_t count) {
    std::vector<CaptureHistoryItem> items;
    for (size_t i = 0; i < count; ++i) {
        const std::string id = newUUIDString();
        items.push_back({id, "ABCD1234", 1000.0 - double(i), id + ".png", 1920, 1080, CaptureMode::fullScreen});
    }
    return items;
}

TEST(HistoryIndexCrash, AWriterKilledAtAnyMomentLeavesAWholeIndex) {
    testing::TempDir folder;
    const CaptureArtifactDirectory directory(folder.path(), {});
    // Two indexes of very different lengths, so a torn write would show.
    const std::string texts[] = {CaptureHistoryIndex::serialize(someItems(1)),
                                 CaptureHistoryIndex::serialize(someItems(400))};
    ASSERT_TRUE(directory.persist(texts[0]));
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 0;; ++i) directory.persist(texts[i % 2]);
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 12000)(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const auto read = directory.readIndex(CaptureHistoryIndex::maxBytes);
        ASSERT_EQ(read.kind, CaptureArtifactDirectory::IndexRead::Kind::text) << "round " << round;
        ASSERT_TRUE(read.text == texts[0] || read.text == texts[1]) << "round " << round << ": " << read.text.size();
    }
    // What the killed writers left is swept by the next write, once old.
    const auto anHourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::last_write_time(entry.path(), anHourAgo);
    ASSERT_TRUE(directory.persist(texts[0]));
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".index.json.tmp-")) << entry.path();
}

TEST(HistoryIndexProcesses, TwoProcessesRecordingAtOnceLoseNothing) {
    testing::TempDir folder;
    constexpr int kPerProcess = 8;
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Each child has its own threads; the parent starts none before forking.
            test::HistoryHarness history(folder / "History");
            history.grace = std::chrono::minutes(10);
            history.open();
            int recorded = 0;
            for (int i = 0; i < kPerProcess; ++i) recorded += history.record(24, 16, 500).has_value();
            ::_exit(recorded == kPerProcess && history.idle() ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    test::HistoryHarness history(folder / "History");
    auto& store = history.open();
    EXPECT_EQ(store.items().size(), size_t{2 * kPerProcess});
    for (const auto& item : store.items()) EXPECT_TRUE(fs::exists(history.path("thumbnails/" + item.thumbnailFilename())));
}

TEST(HistoryIndexHostile, UntrustedValuesNeverNameFilesAndBadShapesAreErrors) {
    const std::string id = newUUIDString();
    const std::string entry = R"({"id":")" + id + R"(","createdAt":1,"imageFilename":")" + id +
                              R"(.png","pixelWidth":2,"pixelHeight":2,"isPinned":false,"isAnnotated":false)";
    // One item: the base entry (no optional keys) with `fields` appended; later keys win.
    const auto one = [&](const std::string& fields) { return R"({"items":[)" + entry + fields + "}]}"; };
    std::string most = "0";  // exactly the most entries an index may hold
    for (size_t i = 1; i < CaptureHistoryIndex::maxItems; ++i) most += ",0";
    const struct {
        std::string text;
        int items;  // -1: the whole index is refused
    } cases[] = {
        {one(""), 1},
        {one(R"(,"sourceMode":"Nowhere","isQuickAccess":"yes")"), 1},
        {R"({"items":[)" + entry + "}," + entry + "}]}", 1},  // a duplicate id
        {one(R"(,"id":"../../victim","imageFilename":"../../victim")"), 0},
        {one(R"(,"imageFilename":"../x.png")"), 0},
        {one(R"(,"pixelWidth":"2")"), 0},
        {one(R"(,"pixelWidth":-1)"), 0},
        {one(R"(,"pixelWidth":1e300)"), 0},
        {one(R"(,"isPinned":1)"), 0},
        {one(R"(,"captureID":7)"), 0},
        {R"({"items":[1,"x",null,[],{}]})", 0},
        {R"({"items":{}})", -1},
        {R"([])", -1},
        {"", -1},
        {std::string(100, '[') + std::string(100, ']'), -1},
        {R"({"items":[)" + std::string(50, '[') + std::string(50, ']') + "]}", -1},
        {R"({"items":[)" + most + "]}", 0},
        {R"({"items":[)" + most + ",0]}", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 160));
        const auto parsed = CaptureHistoryIndex::parse(c.text);
        ASSERT_EQ(parsed.hasValue(), c.items >= 0) << (parsed ? "" : parsed.error());
        if (parsed) {
            EXPECT_EQ(parsed->items.size(), size_t(c.items));
        }
    }
    const auto old = CaptureHistoryIndex::parse(one(R"(,"isPinned":true,"extra":[1])"));
    ASSERT_TRUE(old && old->items.size() == 1);
    EXPECT_EQ(old->items[0], (CaptureHistoryItem{id, std::nullopt, 1, id + ".png", 2, 2, std::nullopt, true}));

    // Random damage to a valid index: an error or only well-formed items.
    std::string valid = CaptureHistoryIndex::serialize(someItems(3));
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::string text = valid;
        for (int edits = 1 + round % 4; edits > 0; --edits) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
                case 0: text[at] = static_cast<char>(random()); break;
                case 1: text.erase(at, 1 + random() % 8); break;
                case 2: text.insert(at, text.substr(random() % text.size(), 1 + random() % 40)); break;
                case 3: text.insert(at, 1, "{}[]\",:0e-./\\"[random() % 13]); break;
            }
            if (text.empty()) text = "{";
        }
        const auto parsed = CaptureHistoryIndex::parse(text);
        if (!parsed) continue;
        for (const auto& item : parsed->items) {
            ASSERT_TRUE(isUUIDString(item.id)) << text;
            ASSERT_EQ(item.imageFilename, item.id + ".png") << text;
        }
    }
}

TEST(HistoryIndexHostile, ClearingAHostileIndexDeletesNothingOutsideTheFolder) {
    testing::TempDir folder;
    test::writeFile(folder / "victim", {1});
    fs::create_directories(folder / "History/images");
    test::writeFile(folder / "History/images/victim", {1});
    const std::string id = newUUIDString();
    std::ofstream(folder / "History/index.json") << R"({"items":[{"id":")" << id << R"(","createdAt":1,"imageFilename":"../../victim",)"
                                                 << R"("pixelWidth":2,"pixelHeight":2,"isPinned":false,"isAnnotated":false}]})";
    test::HistoryHarness history(folder / "History");
    auto& store = history.open();
    EXPECT_TRUE(store.items().empty());
    store.clearAll();
    history.idle();
    EXPECT_TRUE(fs::exists(folder / "victim"));
    EXPECT_TRUE(fs::exists(folder / "History/images/victim"));  // an item was dropped, so no garbage collection
}

}  // namespace
}  // namespace tessarin
