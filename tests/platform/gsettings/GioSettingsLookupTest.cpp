#include "platform/gsettings/GioSettingsLookup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "core/onboarding/SystemScreenshotShortcuts.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

using Kind = GSettingsRead::Kind;

// GIO caches its schema source and backend for the process: one case sets
// the environment and reads everything.
TEST(GioSettingsLookupTest, ReadsTheKeyfileBackendOverTheCompiledSchemas) {
    testing::TempDir home;
    ::setenv("GSETTINGS_SCHEMA_DIR", TESSARIN_TEST_SCHEMA_DIR, 1);
    ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    std::filesystem::create_directories(home / "config/glib-2.0/settings");
    std::ofstream(home / "config/glib-2.0/settings/keyfile")
        << "[org/gnome/shell/keybindings]\nscreenshot=@as []\nscreenshot-window=['']\n";

    const auto lookup = gioSettingsLookup();
    const auto read = [&](std::string_view schema, std::string_view key) { return lookup(schema, key); };
    EXPECT_EQ(read("org.gnome.shell.keybindings", "show-screenshot-ui").strings, std::vector<std::string>{"Print"});
    EXPECT_EQ(read("org.gnome.shell.keybindings", "show-screenshot-ui").kind, Kind::strings);
    EXPECT_TRUE(read("org.gnome.shell.keybindings", "screenshot").strings.empty());
    EXPECT_EQ(read("org.gnome.shell.keybindings", "screenshot-window").strings, std::vector<std::string>{""});
    EXPECT_EQ(read("org.gnome.shell.keybindings", "no-such-key").kind, Kind::noKey);
    EXPECT_EQ(read("org.gnome.shell.keybindings", "switch-to-application-1").kind, Kind::unreadable);
    EXPECT_EQ(read("org.example.not-installed", "screenshot").kind, Kind::noSchema);
    EXPECT_EQ(read("org.gnome.settings-daemon.plugins.media-keys", "area-screenshot").strings,
              std::vector<std::string>{"<Shift>Print"});

    // Show-screenshot-ui keeps its default Print: the guide warns.
    EXPECT_EQ(gnomeScreenshotBindings(lookup), ScreenshotBindings::enabled);
}

}  // namespace
}  // namespace tessarin
