#include "core/preferences/JsonFileStore.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "core/common/PosixFiles.h"
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
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// The folder's entries whose names start with `prefix`.
std::vector<fs::path> filesIn(const fs::path& folder, const std::string& prefix = "") {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
    }
    return found;
}

json storedDocument(const fs::path& file) {
    const auto document = PreferencesDocument::parse(readFile(file));
    return document ? *document : json("unreadable: " + document.error());
}

TEST(JsonFileStoreDefaultPath, FollowsXdgConfigHomeThenHome) {
    const std::string fromHome = "/h/.config/io.tessarin.Tessarin/preferences.json";
    const struct { const char* xdg; const char* home; std::string expected; } rows[] = {  // "": no usable path
        {"/x/cfg", "/h", "/x/cfg/io.tessarin.Tessarin/preferences.json"}, {"", "/h", fromHome},
        {"relative/cfg", "/h", fromHome}, {nullptr, nullptr, ""}, {nullptr, "", ""}, {"cfg", "home", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.xdg ? row.xdg : "(unset)") + " / " + (row.home ? row.home : "(unset)"));
        const auto path = JsonFileStore::defaultPath([&row](const char* name) -> const char* {
            return name == std::string("HOME") ? row.home : name == std::string("XDG_CONFIG_HOME") ? row.xdg : nullptr;
        });
        EXPECT_EQ(path.hasValue() ? path.value().string() : "", row.expected);
    }
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
        EXPECT_TRUE(store.synchronize());
    }
    JsonFileStore reread(file);
    // The text shows the type too: 5 and 5.0 differ.
    for (const auto& [key, value] : values.items()) {
        EXPECT_EQ(reread.object(key).value_or("absent").dump(), value.dump());
    }
    EXPECT_EQ(permissions(home.configFolder()), 0700u);
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(permissions(reread.lockPath()), 0600u);
    EXPECT_EQ(filesIn(home.configFolder()).size(), 2u) << "only the file and its lock";
}

int writes = 0;
const FileSystemCalls countingWrites = {
    .fsync = [](int) { return 0; },
    .renameat = [](int fromFolder, const char* from, int toFolder, const char* to) {
        return ++writes, ::renameat(fromFolder, from, toFolder, to);
    },
};

TEST(JsonFileStore, WritesOnlyItsOwnChangesAndOnlyWhenTheFileDiffers) {
    TemporaryHome home;
    writes = 0;
    JsonFileStore application(home.preferencesFile(), countingWrites);
    JsonFileStore agent(home.preferencesFile());
    const json area = {{"fullscreen", {{"screenID", 1}}}};
    ASSERT_TRUE(application.set("playSound", false));
    ASSERT_TRUE(agent.set("lastCaptureSelection", area));
    ASSERT_TRUE(application.set("historyMaxCount", 10));
    EXPECT_EQ(agent.object("playSound"), json(false)) << "its own write read the file again";
    EXPECT_EQ(agent.object("historyMaxCount"), std::nullopt) << "a later write elsewhere shows after reload";
    EXPECT_EQ(agent.reload("historyMaxCount"), json(10));

    ASSERT_TRUE(application.set("historyMaxCount", 10));
    ASSERT_TRUE(application.set("lastCaptureSelection", area));  // the agent stored the same
    ASSERT_TRUE(application.remove("showThumbnail"));             // not there to begin with
    EXPECT_EQ(writes, 2);
    ASSERT_TRUE(agent.remove("lastCaptureSelection"));
    ASSERT_TRUE(application.set("lastCaptureSelection", area));  // held here, gone from the file
    EXPECT_EQ(writes, 3);
    EXPECT_EQ(JsonFileStore(home.preferencesFile()).object("lastCaptureSelection"), area);
    ASSERT_TRUE(agent.remove("playSound"));
    EXPECT_EQ(application.reload("playSound"), std::nullopt);
}

TEST(JsonFileStore, UnusableFileReadsAsEmptyIsKeptAsideAndLetsWritesContinue) {
    const struct { const char* name; std::string bytes; } rows[] = {
        {"not JSON", "{\"playSound\": tru"}, {"empty", ""}, {"not an object", "[true, 5]"},
        {"not UTF-8", "{\"text\": \"caf\xE9\"}"}, {"overlong UTF-8", "{\"text\": \"\xC0\xAF\"}"},
        {"nested too deep", "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}"},
        {"too big", "{\"pad\":\"" + std::string(PreferencesDocument::maxBytes, 'x') + "\"}"},
        // Unreadable: tests run as root, which a chmod 000 would not stop.
        {"a folder in its place", ""},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        TemporaryHome home;
        CapturedLog log;
        const fs::path file = home.preferencesFile();
        const bool folder = std::string(name) == "a folder in its place";
        folder ? (void)fs::create_directories(file / "inner") : writeFile(file, bytes);

        JsonFileStore store(file);
        EXPECT_FALSE(store.object("playSound"));
        const auto aside = filesIn(home.configFolder(), "preferences.json.corrupt-");
        ASSERT_EQ(aside.size(), 1u);
        if (!folder) {
            EXPECT_EQ(readFile(aside[0]), bytes) << "kept, not deleted";
        }
        ASSERT_FALSE(log.lines.empty());
        EXPECT_EQ(log.lines[0].level, LogLevel::error);
        EXPECT_EQ(log.lines[0].category, "Storage");
        EXPECT_NE(log.lines[0].message.find("moved aside to " + aside[0].string()), std::string::npos);

        ASSERT_TRUE(store.set("playSound", false));
        EXPECT_EQ(storedDocument(file), json({{"playSound", false}}));
    }
}

bool failRenames = false;
const FileSystemCalls refusedRenames = {
    .renameat = [](int fromFolder, const char* from, int toFolder, const char* to) {
        return failRenames ? (errno = EROFS, -1) : ::renameat(fromFolder, from, toFolder, to);
    },
};

TEST(JsonFileStore, AFailedWriteKeepsTheChangePendingForSynchronize) {
    TemporaryHome home;
    CapturedLog log;
    const fs::path file = home.preferencesFile();
    writeFile(file, R"({"historyMaxCount": 10})");
    const std::string before = readFile(file);
    failRenames = true;
    JsonFileStore store(file, refusedRenames);

    EXPECT_FALSE(store.set("playSound", false));
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(store.object("playSound"), json(false));
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().message, "preferences write failed at " + file.string() + ": " + errnoText(EROFS));

    failRenames = false;
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(storedDocument(file), json({{"historyMaxCount", 10}, {"playSound", false}}));
}

// A regular file where the folder should be: the stand-in for a folder this
// user may not write to, which root could write to anyway.
TEST(JsonFileStore, FolderThatCannotBeCreatedFailsWithoutThrowing) {
    TemporaryHome home;
    CapturedLog log;
    writeFile(home.root() / "blocker", "not a folder");
    JsonFileStore store(home.root() / "blocker" / "preferences.json");
    EXPECT_FALSE(store.set("playSound", false));
    EXPECT_EQ(store.object("playSound"), json(false));
    EXPECT_FALSE(store.synchronize());
    EXPECT_EQ(log.lines.size(), 2u) << "one line per failed write; no file to read is no error";
    EXPECT_EQ(readFile(home.root() / "blocker"), "not a folder");
}

TEST(JsonFileStore, ALinkedPreferencesFileIsWrittenThroughAndStaysALink) {
    TemporaryHome home;
    const fs::path dotfiles = home.root() / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(home.configFolder());
    writeFile(dotfiles / "tessarin.json", R"({"kept": 1})");
    fs::permissions(dotfiles / "tessarin.json", fs::perms(0640));
    fs::create_symlink(dotfiles / "tessarin.json", home.preferencesFile());

    JsonFileStore store(home.preferencesFile());
    EXPECT_EQ(store.object("kept"), json(1));
    ASSERT_TRUE(store.set("added", true));

    EXPECT_TRUE(fs::is_symlink(home.preferencesFile()));
    EXPECT_EQ(storedDocument(dotfiles / "tessarin.json"), json({{"kept", 1}, {"added", true}}));
    EXPECT_EQ(permissions(dotfiles / "tessarin.json"), 0640u);
    EXPECT_EQ(filesIn(dotfiles).size(), 1u) << "no temporary left beside the target";
}

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
    // Both children wait for the pipe to close, so their writes overlap.
    int startGate[2];
    ASSERT_EQ(::pipe(startGate), 0);
    std::vector<pid_t> children;
    for (const char* prefix : {"first", "second"}) {
        children.push_back(::fork());
        ASSERT_GE(children.back(), 0);
        if (children.back() == 0) {
            ::close(startGate[1]);
            for (char ignored; ::read(startGate[0], &ignored, 1) < 0 && errno == EINTR;) {
            }
            JsonFileStore store(file, testing::withoutFsync());
            bool ok = true;
            for (int i = 0; i < keysPerProcess; ++i) ok = store.set(prefix + std::to_string(i), i) && ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    ::close(startGate[0]);
    ::close(startGate[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    json expected = json::object();
    for (int i = 0; i < keysPerProcess; ++i) {
        expected["first" + std::to_string(i)] = i;
        expected["second" + std::to_string(i)] = i;
    }
    EXPECT_EQ(storedDocument(file), expected);
}

}  // namespace
}  // namespace tessarin
