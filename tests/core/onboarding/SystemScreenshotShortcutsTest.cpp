#include "core/onboarding/SystemScreenshotShortcuts.h"

#include <gtest/gtest.h>

#include <map>

#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using Kind = GSettingsRead::Kind;

// Schemas present map their keys; a schema not listed is not installed.
GSettingsLookup fakeGSettings(std::map<std::string, std::map<std::string, GSettingsRead>> schemas) {
    return [schemas = std::move(schemas)](std::string_view schema, std::string_view key) -> GSettingsRead {
        const auto found = schemas.find(std::string(schema));
        if (found == schemas.end()) return {Kind::noSchema, {}};
        const auto value = found->second.find(std::string(key));
        if (value == found->second.end()) return {Kind::noKey, {}};
        return value->second;
    };
}

GSettingsRead strings(std::vector<std::string> values) { return {Kind::strings, std::move(values)}; }

TEST(SystemScreenshotShortcutsTest, GnomeBindingsCountWhileAnyKeyIsBound) {
    const std::string shell = "org.gnome.shell.keybindings";
    const std::string mediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
    const auto allOff = std::map<std::string, GSettingsRead>{
        {"show-screenshot-ui", strings({})}, {"screenshot", strings({""})}, {"screenshot-window", strings({})}};
    const struct { const char* name; std::map<std::string, std::map<std::string, GSettingsRead>> schemas;
                   ScreenshotBindings expected; } rows[] = {
        {"GNOME not installed", {}, ScreenshotBindings::absent},
        {"defaults of GNOME 42", {{shell, {{"show-screenshot-ui", strings({"Print"})}, {"screenshot", strings({"<Shift>Print"})},
                                           {"screenshot-window", strings({"<Alt>Print"})}}}},
         ScreenshotBindings::enabled},
        {"all three cleared", {{shell, allOff}}, ScreenshotBindings::disabled},
        {"one left", {{shell, [&] { auto keys = allOff; keys["screenshot"] = strings({"<Shift>Print"}); return keys; }()}},
         ScreenshotBindings::enabled},
        {"cleared but the older plugin binds Print", {{shell, allOff}, {mediaKeys, {{"screenshot", strings({"Print"})}}}},
         ScreenshotBindings::enabled},
        {"older plugin, string keys, disabled", {{mediaKeys, {{"screenshot", strings({"disabled"})},
                                                              {"area-screenshot", strings({""})}}}},
         ScreenshotBindings::disabled},
        {"a key of an unexpected type", {{shell, [&] { auto keys = allOff; keys["screenshot"] = {Kind::unreadable, {}}; return keys; }()}},
         ScreenshotBindings::unreadable},
    };
    for (const auto& [name, schemas, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(gnomeScreenshotBindings(fakeGSettings(schemas)), expected);
    }
}

TEST(SystemScreenshotShortcutsTest, KdeScreenshotToolGroupCountsItsActiveKeys) {
    const struct { const char* name; const char* text; ScreenshotBindings expected; } rows[] = {
        {"empty file", "", ScreenshotBindings::absent},
        {"another group only", "[kwin]\nExpose=Ctrl+F9,Ctrl+F9,Toggle Present Windows\n", ScreenshotBindings::absent},
        {"defaults", "[org.kde.spectacle.desktop]\n_k_friendly_name=Spectacle\n_launch=Print,Print,Spectacle\n"
                     "FullScreenScreenShot=Shift+Print,Shift+Print,Capture Entire Desktop\n",
         ScreenshotBindings::enabled},
        {"all none", "[org.kde.spectacle.desktop]\n_k_friendly_name=Spectacle\n_launch=none,Print,Spectacle\n"
                     "FullScreenScreenShot=none,Shift+Print,Capture Entire Desktop\n"
                     "RectangularRegionScreenShot=,Meta+Shift+Print,Capture Rectangular Region\n",
         ScreenshotBindings::disabled},
        {"second of two keys", "[spectacle]\n_launch=none\tPrint,Print,Spectacle\n", ScreenshotBindings::enabled},
        {"key in a later group", "[org.kde.spectacle.desktop]\n_launch=none,Print,Spectacle\n[kwin]\nX=Print,Print,X\n",
         ScreenshotBindings::disabled},
        {"comments and spaces", "# a comment\n[spectacle]\n  _launch = Print , Print,Spectacle \n", ScreenshotBindings::enabled},
    };
    for (const auto& [name, text, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(kdeScreenshotBindings(text), expected);
    }
}

TEST(SystemScreenshotShortcutsTest, KdeFileMissingIsAbsentAndUnreadableCounts) {
    testing::TempDir dir;
    EXPECT_EQ(kdeScreenshotBindingsAt(dir / "kglobalshortcutsrc"), ScreenshotBindings::absent);
    std::filesystem::create_directories(dir / "folder-not-file");
    EXPECT_EQ(kdeScreenshotBindingsAt(dir / "folder-not-file"), ScreenshotBindings::unreadable);
    testing::writeFile(dir / "kglobalshortcutsrc", "[spectacle]\n_launch=Print,Print,Spectacle\n");
    EXPECT_EQ(kdeScreenshotBindingsAt(dir / "kglobalshortcutsrc"), ScreenshotBindings::enabled);
}

TEST(SystemScreenshotShortcutsTest, AnyEnabledWeighsEverySource) {
    testing::TempDir dir;
    const auto kdeOff = dir / "kde-off";
    testing::writeFile(kdeOff, "[org.kde.spectacle.desktop]\n_launch=none,Print,Spectacle\n");
    const auto gnomeOff = fakeGSettings({{"org.gnome.shell.keybindings", {{"show-screenshot-ui", strings({})}}}});
    const auto gnomeOn = fakeGSettings({{"org.gnome.shell.keybindings", {{"show-screenshot-ui", strings({"Print"})}}}});
    const auto gnomeBroken =
        fakeGSettings({{"org.gnome.shell.keybindings", {{"show-screenshot-ui", {Kind::unreadable, {}}}}}});
    const auto refused = [] { return true; };
    const auto granted = [] { return false; };
    const struct { const char* name; ScreenshotShortcutSources sources; bool expected; } rows[] = {
        {"no desktop at all", {fakeGSettings({}), dir / "none", granted}, false},
        {"everything off", {gnomeOff, kdeOff, granted}, false},
        {"GNOME on", {gnomeOn, kdeOff, granted}, true},
        {"GNOME unreadable", {gnomeBroken, kdeOff, granted}, true},
        {"KDE unreadable", {gnomeOff, dir.path(), granted}, true},
        {"another client holds our keys", {gnomeOff, kdeOff, refused}, true},
        {"no sources given", {}, false},
    };
    for (const auto& [name, sources, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(anyScreenshotShortcutEnabled(sources), expected);
    }
}

}  // namespace
}  // namespace tessarin
