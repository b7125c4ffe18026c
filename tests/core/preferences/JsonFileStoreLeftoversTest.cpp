// What a preferences file kept elsewhere, and writers killed mid-write,
// leave behind: a linked file stays linked, stale temporaries go.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/preferences/JsonFileStore.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TemporaryHome;

TEST(JsonFileStoreLinks, ALinkedPreferencesFileIsWrittenThroughAndStaysALink) {
    TemporaryHome home;
    const fs::path dotfiles = home.root() / "dotfiles";
    fs::create_directories(dotfiles);
    fs::create_directories(home.configFolder());
    std::ofstream(dotfiles / "tessarin.json") << R"({"kept": 1})";
    fs::permissions(dotfiles / "tessarin.json", fs::perms(0640));
    fs::create_symlink(dotfiles / "tessarin.json", home.preferencesFile());

    JsonFileStore store(home.preferencesFile());
    EXPECT_EQ(store.object("kept"), nlohmann::json(1));
    ASSERT_TRUE(store.set("added", true));

    EXPECT_TRUE(fs::is_symlink(home.preferencesFile()));
    const auto written = nlohmann::json::parse(readFile(dotfiles / "tessarin.json"));
    EXPECT_EQ(written, nlohmann::json({{"kept", 1}, {"added", true}}));
    EXPECT_EQ(fs::status(dotfiles / "tessarin.json").permissions(), fs::perms(0640));
    for (const auto& entry : fs::directory_iterator(dotfiles)) {
        EXPECT_EQ(entry.path().filename(), "tessarin.json") << "no temporary left beside the target";
    }
}

TEST(JsonFileStoreLeftovers, TemporariesOfKilledWritersAreSweptUnderTheLock) {
    TemporaryHome home;
    fs::create_directories(home.configFolder());
    const fs::path stale = home.configFolder() / "preferences.json.tmp-4242-0-123";
    const fs::path fresh = home.configFolder() / "preferences.json.tmp-4343-0-456";
    std::ofstream(stale) << "{";
    std::ofstream(fresh) << "{";
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(1));

    JsonFileStore store(home.preferencesFile());
    ASSERT_TRUE(store.set("key", "value"));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh)) << "a writer that may still be running keeps its file";
}

}  // namespace
}  // namespace tessarin
