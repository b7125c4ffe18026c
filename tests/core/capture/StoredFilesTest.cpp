// Image export, the history index and the preferences all keep their files
// through the one writer (core/common/StoredFile.h), whose failures are
// tested there; this shows each store goes through it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "core/capture/CaptureArtifactDirectory.h"
#include "core/capture/ExportManager.h"
#include "core/preferences/JsonFileStore.h"
#include "render/TestImages.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> events;  // "create <name>", "fsync <name>", "rename <to>", "fsync folder"
std::map<int, std::string> names;

const FileSystemCalls recording = {
    .openat = [](int folder, const char* name, int flags, mode_t mode) {
        const int fd = ::openat(folder, name, flags, mode);
        if (flags & O_CREAT) events.push_back(std::string("create ") + name);
        if (!(flags & O_PATH)) names[fd] = (flags & O_DIRECTORY) ? "folder" : name;
        return fd;
    },
    .fsync = [](int fd) { return events.push_back("fsync " + names[fd]), ::fsync(fd); },
    .close = [](int fd) { return names.erase(fd), ::close(fd); },
    .renameat = [](int fromFolder, const char* from, int toFolder, const char* to) {
        return events.push_back(std::string("rename ") + to), ::renameat(fromFolder, from, toFolder, to);
    },
};

struct Store {
    const char* name;
    const char* file;
    std::function<void(const fs::path& folder)> write;
};

const Image image = test::noiseImage(8, 8, 1);
const Store stores[] = {
    {"image export", "shot.png",
     [](const fs::path& folder) { ExportManager::writeImage(image, folder / "shot.png", ImageFormat::png(), recording); }},
    {"history index", "index.json",
     [](const fs::path& folder) { ASSERT_TRUE(CaptureArtifactDirectory(folder, {}, recording).persist("{}")); }},
    {"preferences", "preferences.json",
     [](const fs::path& folder) { ASSERT_TRUE(JsonFileStore(folder / "preferences.json", recording).set("k", 1)); }},
};

// Sweeping old temporaries is the writer's (DurableFileTest).
TEST(StoredFiles, EveryStoreWritesThroughTheDurableWriter) {
    for (const Store& store : stores) {
        SCOPED_TRACE(store.name);
        testing::TempDir tmp;
        const fs::path folder = fs::canonical(tmp.path());
        const std::string prefix = std::string(".") + store.file + ".tmp-";
        events.clear();

        store.write(folder);

        ASSERT_EQ(events.size(), 4u);
        const std::string temporary = events[0].substr(std::string("create ").size());
        EXPECT_TRUE(temporary.starts_with(prefix)) << temporary;  // its pattern: StoredFileTest
        EXPECT_EQ(events[1], "fsync " + temporary);
        EXPECT_EQ(events[2], std::string("rename ") + store.file);
        EXPECT_EQ(events[3], "fsync folder");
    }
}

TEST(StoredFiles, PreferencesAlsoSweepTheTemporariesEarlierBuildsNamedWithoutADot) {
    testing::TempDir tmp;
    const fs::path folder = fs::canonical(tmp.path());
    const fs::path killed = folder / "preferences.json.tmp-123-abc";
    const fs::path active = folder / "preferences.json.tmp-456-def";
    const fs::path someoneElses = folder / "shot.png.tmp-789";
    for (const auto& path : {killed, active, someoneElses}) std::ofstream(path) << "left over";
    fs::last_write_time(killed, fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::last_write_time(someoneElses, fs::file_time_type::clock::now() - std::chrono::hours(1));

    ASSERT_TRUE(JsonFileStore(folder / "preferences.json").set("k", 1));

    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(active));
    EXPECT_TRUE(fs::exists(someoneElses));
}

}  // namespace
}  // namespace tessarin
