#include "core/preferences/JsonFileStore.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <memory>

#include <gtest/gtest.h>

#include "core/preferences/PreferencesDocument.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::CapturedLog;
using testing::readFile;
using testing::TemporaryHome;
using testing::writeFile;

mode_t permissions(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

// JSON types as a reader tells them apart (5 and 5u are both integers).
std::string kind(const json& value) {
    if (value.is_number_integer()) return "integer";
    return value.type_name();
}

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
}

std::vector<fs::path> asideCopies(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& name : filesIn(folder)) {
        if (name.string().rfind("preferences.json.corrupt-", 0) == 0) found.push_back(folder / name);
    }
    return found;
}

TEST(JsonFileStoreDefaultPath, FollowsXdgConfigHomeThenHome) {
    const auto pathWith = [](std::map<std::string, std::string> env) {
        return JsonFileStore::defaultPath([&env](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        });
    };
    EXPECT_EQ(pathWith({{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/h"}}).value(),
              "/x/cfg/io.tessarin.Tessarin/preferences.json");
    for (const char* unusable : {"", "relative/cfg"}) {
        EXPECT_EQ(pathWith({{"XDG_CONFIG_HOME", unusable}, {"HOME", "/h"}}).value(),
                  "/h/.config/io.tessarin.Tessarin/preferences.json");
    }
    EXPECT_FALSE(pathWith({}).hasValue());
    EXPECT_FALSE(pathWith({{"HOME", ""}}).hasValue());
    EXPECT_FALSE(pathWith({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "home"}}).hasValue());
}

TEST(JsonFileStore, KeepsJsonTypesAcrossProcessesAndCreatesPrivateFiles) {
    TemporaryHome home;
    const fs::path file = JsonFileStore::defaultPath().value();
    ASSERT_EQ(file, home.preferencesFile());
    const json values = {{"flag", false},   {"count", 5},          {"negative", -7},
                         {"big", 1ull << 63}, {"ratio", 0.25},       {"text", "Ünïcødé ✓"},
                         {"object", {{"area", {{"localX", 1.5}}}}}, {"list", {1, "two"}}};
    {
        JsonFileStore store(file);
        EXPECT_FALSE(store.object("flag"));
        for (const auto& [key, value] : values.items()) EXPECT_TRUE(store.set(key, value)) << key;
        EXPECT_TRUE(store.set("gone", true));
        EXPECT_TRUE(store.remove("gone"));
        EXPECT_TRUE(store.synchronize());
    }
    JsonFileStore reread(file);
    for (const auto& [key, value] : values.items()) {
        const auto stored = reread.object(key);
        ASSERT_TRUE(stored) << key;
        EXPECT_EQ(*stored, value) << key;
        EXPECT_EQ(kind(*stored), kind(value)) << key;
    }
    EXPECT_FALSE(reread.object("gone"));
    EXPECT_EQ(permissions(home.configFolder()), 0700u);
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(permissions(reread.lockPath()), 0600u);
    EXPECT_EQ(filesIn(home.configFolder()).size(), 2u) << "only the file and its lock";
}

TEST(JsonFileStore, WritesOnlyItsOwnKeysAndReloadsOthers) {
    TemporaryHome home;
    JsonFileStore application(home.preferencesFile());
    JsonFileStore agent(home.preferencesFile());
    ASSERT_TRUE(application.set("playSound", false));
    ASSERT_TRUE(agent.set("lastCaptureSelection", {{"fullscreen", {{"screenID", 1}}}}));
    ASSERT_TRUE(application.set("historyMaxCount", 10));

    EXPECT_EQ(JsonFileStore(home.preferencesFile()).object("lastCaptureSelection"),
              json({{"fullscreen", {{"screenID", 1}}}}));
    EXPECT_EQ(agent.object("playSound"), json(false)) << "its own write read the file again";
    EXPECT_EQ(agent.object("historyMaxCount"), std::nullopt) << "a later write elsewhere shows after reload";
    EXPECT_EQ(agent.reload("historyMaxCount"), json(10));

    ASSERT_TRUE(agent.remove("lastCaptureSelection"));
    EXPECT_EQ(application.reload("lastCaptureSelection"), std::nullopt);
}

// A file that cannot be read as a JSON object, and how it got that way.
struct UnusableFile {
    const char* name;
    std::string bytes;
    bool directory = false;
};

class JsonFileStoreUnusableFile : public ::testing::TestWithParam<UnusableFile> {};

TEST_P(JsonFileStoreUnusableFile, ReadsAsEmptyIsKeptAsideAndLetsWritesContinue) {
    TemporaryHome home;
    CapturedLog log;
    const fs::path file = home.preferencesFile();
    if (GetParam().directory) {
        // Unreadable: tests run as root, which a chmod 000 would not stop.
        fs::create_directories(file / "inner");
    } else {
        writeFile(file, GetParam().bytes);
    }

    JsonFileStore store(file);
    EXPECT_FALSE(store.object("playSound"));
    const auto aside = asideCopies(home.configFolder());
    ASSERT_EQ(aside.size(), 1u);
    if (!GetParam().directory) {
        EXPECT_EQ(readFile(aside[0]), GetParam().bytes) << "kept, not deleted";
    }
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].level, LogLevel::error);
    EXPECT_EQ(log.lines[0].category, "Storage");
    EXPECT_NE(log.lines[0].message.find("moved aside to " + aside[0].string()), std::string::npos);

    ASSERT_TRUE(store.set("playSound", false));
    EXPECT_EQ(PreferencesDocument::parse(readFile(file)).value(), json({{"playSound", false}}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JsonFileStoreUnusableFile,
    ::testing::Values(UnusableFile{"NotJson", "{\"playSound\": tru"}, UnusableFile{"Empty", ""},
                      UnusableFile{"NotAnObject", "[true, 5]"},
                      UnusableFile{"NotUtf8", "{\"text\": \"caf\xE9\"}"},
                      UnusableFile{"OverlongUtf8", "{\"text\": \"\xC0\xAF\"}"},
                      UnusableFile{"NestedTooDeep", "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}"},
                      UnusableFile{"Huge", "{\"pad\":\"" + std::string(PreferencesDocument::maxBytes, 'x') + "\"}"},
                      UnusableFile{"DirectoryInItsPlace", "", true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(JsonFileStore, FolderThatCannotBeCreatedFailsWithoutThrowing) {
    TemporaryHome home;
    CapturedLog log;
    // A regular file where the folder should be: the stand-in for a folder
    // this user may not write to, which root could write to anyway.
    writeFile(home.root() / "blocker", "not a folder");
    JsonFileStore store(home.root() / "blocker" / "preferences.json");

    EXPECT_FALSE(store.set("playSound", false));
    EXPECT_EQ(store.object("playSound"), json(false)) << "the change stays visible in this process";
    EXPECT_FALSE(store.synchronize());
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().category, "Storage");
    EXPECT_EQ(readFile(home.root() / "blocker"), "not a folder");
}

// Which system call fails on the way to disk (disk full, failed fsync,
// refused rename). In each case the old file must stay whole.
class JsonFileStoreFailedWrite : public ::testing::TestWithParam<const char*> {};

TEST_P(JsonFileStoreFailedWrite, LeavesTheOldFileWholeAndRetriesOnSynchronize) {
    TemporaryHome home;
    CapturedLog log;
    const fs::path file = home.preferencesFile();
    writeFile(file, R"({"historyMaxCount": 10})");
    const std::string before = readFile(file);

    auto failing = std::make_shared<bool>(true);
    StoreSyscalls calls = StoreSyscalls::posix();
    const std::string which = GetParam();
    if (which == "write") {
        calls.write = [failing, real = calls.write](int fd, const void* data, size_t size) -> ssize_t {
            if (!*failing) return real(fd, data, size);
            if (size > 4) return real(fd, data, 4);  // part of it fits, then the disk is full
            errno = ENOSPC;
            return -1;
        };
    } else if (which == "fsync") {
        calls.fsync = [failing, real = calls.fsync](int fd) { return *failing ? (errno = EIO, -1) : real(fd); };
    } else {
        calls.rename = [failing, real = calls.rename](const char* from, const char* to) {
            return *failing ? (errno = EROFS, -1) : real(from, to);
        };
    }
    JsonFileStore store(file, calls);

    EXPECT_FALSE(store.set("playSound", false));
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(filesIn(home.configFolder()).size(), 2u) << "no temporary file left behind";
    ASSERT_FALSE(log.lines.empty());
    EXPECT_NE(log.lines.back().message.find("preferences write failed at " + file.string()), std::string::npos);

    *failing = false;
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(PreferencesDocument::parse(readFile(file)).value(), json({{"historyMaxCount", 10}, {"playSound", false}}));
}

INSTANTIATE_TEST_SUITE_P(Calls, JsonFileStoreFailedWrite, ::testing::Values("write", "fsync", "rename"));

TEST(JsonFileStore, RefusesValuesThatCouldNotBeReadBack) {
    TemporaryHome home;
    CapturedLog log;
    JsonFileStore store(home.preferencesFile());
    EXPECT_FALSE(store.set("name", std::string("caf\xE9")));
    EXPECT_FALSE(store.set("pad", std::string(PreferencesDocument::maxBytes, 'x')));
    EXPECT_FALSE(store.object("name"));
    EXPECT_FALSE(store.object("pad"));
    EXPECT_TRUE(store.set("playSound", true)) << "a refused value does not block later writes";
    EXPECT_TRUE(store.synchronize());
}

TEST(JsonFileStore, ConcurrentWritersFromTwoProcessesLoseNoKey) {
    TemporaryHome home;
    const fs::path file = home.preferencesFile();
    constexpr int keysPerProcess = 200;
    // Durability is not under test here, and fsync would only slow the run.
    StoreSyscalls noSync = StoreSyscalls::posix();
    noSync.fsync = [](int) { return 0; };
    // Both children wait for the pipe to close, so their writes overlap.
    int startGate[2];
    ASSERT_EQ(::pipe(startGate), 0);
    std::vector<pid_t> children;
    for (const char* prefix : {"first", "second"}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(startGate[1]);
            char ignored;
            while (::read(startGate[0], &ignored, 1) < 0 && errno == EINTR) {
            }
            JsonFileStore store(file, noSync);
            bool ok = true;
            for (int i = 0; i < keysPerProcess; ++i) ok = store.set(prefix + std::to_string(i), i) && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    ::close(startGate[0]);
    ::close(startGate[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto document = PreferencesDocument::parse(readFile(file));
    ASSERT_TRUE(document.hasValue()) << document.error();
    EXPECT_EQ(document->size(), 2u * keysPerProcess);
    for (int i = 0; i < keysPerProcess; ++i) {
        EXPECT_EQ(document->value("first" + std::to_string(i), -1), i);
        EXPECT_EQ(document->value("second" + std::to_string(i), -1), i);
    }
}

}  // namespace
}  // namespace tessarin
