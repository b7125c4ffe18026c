#pragma once
// Whether the desktop's own screenshot shortcuts are still switched on, so
// the guide can warn that Print and Shift+Print may not reach Tessarin.
// Three sources, any one of which counts:
//   - GNOME's key bindings in GSettings (org.gnome.shell.keybindings, and
//     the older org.gnome.settings-daemon.plugins.media-keys). GNOME Shell
//     takes its keys without an X grab, so this table is the only signal
//     there;
//   - KDE's kglobalshortcutsrc, the screenshot tool's groups;
//   - our own grabs of Area and Full Screen refused because another client
//     holds them (KDE, XFCE, openbox, xbindkeys all grab).
// A source that exists but cannot be read counts as enabled: the warning
// errs towards showing. A desktop that is not installed counts for nothing.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/GSettingsRead.h"

namespace tessarin {

enum class ScreenshotBindings { absent, disabled, enabled, unreadable };

ScreenshotBindings gnomeScreenshotBindings(const GSettingsLookup& lookup);
// The text of kglobalshortcutsrc.
ScreenshotBindings kdeScreenshotBindings(std::string_view configText);
// Reads the file: missing is absent, unreadable is unreadable.
ScreenshotBindings kdeScreenshotBindingsAt(const std::filesystem::path& configFile);

struct ScreenshotShortcutSources {
    GSettingsLookup gsettings;                  // empty: GNOME not consulted
    std::filesystem::path kdeConfigFile;        // empty: KDE not consulted
    std::function<bool()> grabRefused;          // empty: no grab record
};

bool anyScreenshotShortcutEnabled(const ScreenshotShortcutSources& sources);

// $XDG_CONFIG_HOME/kglobalshortcutsrc (or ~/.config/…); empty without a home.
std::filesystem::path defaultKdeShortcutsFile();

}  // namespace tessarin
