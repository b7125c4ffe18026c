#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "core/common/StoredFile.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

// What the seam below does besides passing through to the real calls.
struct Faults {
    bool interruptEverySyncOnce = false;
    int folderSyncError = 0, renameError = 0, createError = 0, readError = 0;
    int collisions = 0;  // creations that report EEXIST first
};
Faults faults;
std::vector<std::string> events;  // "fsync file", "rename", "fsync folder", ...
std::vector<std::string> created;
std::set<int> folderFds;

int fail(int error) { return errno = error, -1; }

const FileSystemCalls seam = {
    .openat = [](int folder, const char* name, int flags, mode_t mode) {
        if (flags & O_CREAT) {
            created.push_back(name);
            if (faults.collisions > 0) return --faults.collisions, fail(EEXIST);
            if (faults.createError) return fail(faults.createError);
        }
        const int fd = ::openat(folder, name, flags, mode);
        if ((flags & O_DIRECTORY) && !(flags & O_PATH)) folderFds.insert(fd);
        return fd;
    },
    .read = [](int fd, void* buffer, size_t count) -> ssize_t {
        return faults.readError ? fail(faults.readError) : ::read(fd, buffer, count);
    },
    .fsync = [](int fd) {
        static bool interrupted = false;
        const std::string what = folderFds.contains(fd) ? "fsync folder" : "fsync file";
        if (faults.interruptEverySyncOnce && (interrupted = !interrupted)) {
            return events.push_back(what + ": interrupted"), fail(EINTR);
        }
        const int error = folderFds.contains(fd) ? faults.folderSyncError : 0;
        events.push_back(what);
        return error ? fail(error) : ::fsync(fd);
    },
    .close = [](int fd) {
        folderFds.erase(fd);
        return ::close(fd);
    },
    .renameat = [](int fromFolder, const char* from, int toFolder, const char* to) {
        events.push_back("rename");
        return faults.renameError ? fail(faults.renameError) : ::renameat(fromFolder, from, toFolder, to);
    },
};

class StoredFileTest : public ::testing::Test {
protected:
    StoredFileTest() : folder(fs::canonical(tmp.path())) {
        faults = {};
        events.clear();
        created.clear();
    }
    fs::path target() const { return folder / "index.json"; }
    void put(const fs::path& path, const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }
    std::string contents(const fs::path& path) const {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    testing::TempDir tmp;
    fs::path folder;
};

TEST_F(StoredFileTest, TheDataIsSyncedThenRenamedThenTheFolderSyncedRetryingInterruptionsAndCollisions) {
    faults.interruptEverySyncOnce = true;
    faults.collisions = 3;
    ASSERT_FALSE(replaceFileContents(target(), "{}", {}, seam));
    EXPECT_EQ(events, (std::vector<std::string>{"fsync file: interrupted", "fsync file", "rename",
                                                "fsync folder: interrupted", "fsync folder"}));
    EXPECT_EQ(contents(target()), "{}");
    EXPECT_EQ(entries(), std::vector<std::string>{"index.json"});
    ASSERT_EQ(created.size(), 4u);
    for (const auto& name : created) EXPECT_TRUE(std::regex_match(name, std::regex(R"(\.index\.json\.tmp-[A-Za-z0-9]{6})")));
    EXPECT_EQ(std::set<std::string>(created.begin(), created.end()).size(), 4u);
}

TEST_F(StoredFileTest, EveryFailureIsReportedAndOnlyAFailedFolderSyncLeavesTheNewFile) {
    const struct {
        const char* name;
        Faults faults;
        int error;
        const char* left;  // what the target holds afterwards
    } cases[] = {
        {"cannot create the temporary", {.createError = EACCES}, EACCES, "old"},
        {"every temporary name taken", {.collisions = 1000}, EEXIST, "old"},
        {"rename refused", {.renameError = EXDEV}, EXDEV, "old"},
        // Renamed already: the caller hears it may not survive a power cut.
        {"folder fsync fails", {.folderSyncError = EIO}, EIO, "new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(target(), "old");
        faults = c.faults;
        const auto fault = replaceFileContents(target(), "new", {}, seam);
        ASSERT_TRUE(fault);
        EXPECT_EQ(fault->errorNumber, c.error);
        EXPECT_EQ(fault->reason, errnoText(c.error));
        EXPECT_EQ(contents(target()), c.left);
        EXPECT_EQ(entries(), std::vector<std::string>{"index.json"}) << "no temporary left behind";
    }
}

TEST_F(StoredFileTest, TheCappedReaderSaysWhatItFound) {
    using Kind = FileRead::Kind;
    put(folder / "at-cap", std::string(16, 'x'));
    put(folder / "over-cap", std::string(17, 'x'));
    put(folder / "file", "x");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    fs::create_directory(folder / "dir");
    fs::create_symlink(folder / "at-cap", folder / "link");
    const struct {
        const char* name;
        Kind kind;
        std::string reason;
    } cases[] = {
        {"none", Kind::missing, ""},
        {"file/deeper", Kind::missing, ""},  // a file where a folder would be
        {"at-cap", Kind::text, ""},
        {"link", Kind::text, ""},  // read through to what it names
        {"over-cap", Kind::unusable, "larger than 16 bytes"},
        {"pipe", Kind::unusable, "not a regular file"},
        {"dir", Kind::unusable, "cannot be opened: " + errnoText(EISDIR)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FileRead read = readCappedFile(folder / c.name, 16, seam);
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_EQ(read.reason, c.reason);
        if (c.kind == Kind::text) {
            EXPECT_EQ(read.text, std::string(16, 'x'));
        }
    }
    faults.readError = EIO;
    const FileRead failed = readCappedFile(folder / "at-cap", 16, seam);
    EXPECT_EQ(failed.kind, Kind::failed);
    EXPECT_EQ(failed.reason, "cannot be read: " + errnoText(EIO));
}

TEST_F(StoredFileTest, ADamagedFileIsSetAsideOnceAndARepairedOneStays) {
    put(target(), "{\"items\": [");
    // Two processes judged the same damaged file before either took the lock.
    const FileRead first = readCappedFile(target(), 64, seam), second = readCappedFile(target(), 64, seam);
    const auto aside = setAsideUnusableFile(target(), first, "truncated", 64, seam);
    ASSERT_TRUE(aside);
    EXPECT_TRUE(std::regex_match(aside->filename().string(), std::regex(R"(index\.json\.corrupt-\d{8}T\d{6}Z)")));
    EXPECT_EQ(contents(*aside), "{\"items\": [");
    EXPECT_FALSE(setAsideUnusableFile(target(), second, "truncated", 64, seam)) << "already moved";
    EXPECT_TRUE(hasSetAsideCopy(target()));

    put(target(), "{\"items\": [");
    const FileRead stale = readCappedFile(target(), 64, seam);
    put(target(), "{\"items\": []}");  // another process wrote a good index meanwhile
    EXPECT_FALSE(setAsideUnusableFile(target(), stale, "truncated", 64, seam));
    EXPECT_EQ(contents(target()), "{\"items\": []}");

    put(target(), std::string(65, ' '));  // over the cap: judged without its text
    const auto tooLarge = setAsideUnusableFile(target(), readCappedFile(target(), 64, seam), "large", 64, seam);
    ASSERT_TRUE(tooLarge);
    EXPECT_NE(*tooLarge, *aside) << "a second set-aside in the same second gets its own name";
    EXPECT_FALSE(fs::exists(target()));
}

}  // namespace
}  // namespace tessarin
