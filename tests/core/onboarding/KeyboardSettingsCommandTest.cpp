#include "core/onboarding/KeyboardSettingsCommand.h"

#include <gtest/gtest.h>

#include <set>

namespace tessarin {
namespace {

TEST(KeyboardSettingsCommandTest, TheFirstKnownDesktopWithItsProgramInstalledWins) {
    const std::set<std::string> everything = {"gnome-control-center", "systemsettings5", "xfce4-keyboard-settings",
                                              "mate-keybinding-properties", "cinnamon-settings"};
    const struct { const char* desktop; std::set<std::string> installed; std::optional<ProgramCommand> expected; } rows[] = {
        {"GNOME", everything, ProgramCommand{"gnome-control-center", {"keyboard"}}},
        {"KDE", everything, ProgramCommand{"systemsettings5", {"kcm_keys"}}},
        {"KDE", {"systemsettings", "systemsettings5"}, ProgramCommand{"systemsettings", {"kcm_keys"}}},
        {"GNOME", {}, std::nullopt},
        {"openbox", everything, std::nullopt},
        {"Budgie:GNOME", {"gnome-control-center"}, ProgramCommand{"gnome-control-center", {"keyboard"}}},
    };
    for (const auto& [desktop, installed, expected] : rows) {
        SCOPED_TRACE(desktop);
        EXPECT_EQ(keyboardSettingsCommand(desktop, [&](const std::string& p) { return installed.count(p) != 0; }),
                  expected);
    }
}

}  // namespace
}  // namespace tessarin
