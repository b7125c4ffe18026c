#include "core/onboarding/SystemScreenshotShortcuts.h"

#include <array>

#include "core/common/StoredFile.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin {
namespace {

struct SchemaKeys {
    std::string_view schema;
    std::vector<std::string_view> keys;
};

// GNOME 42 and later bind the screenshot UI in the shell; releases before
// that bound the media-keys plugin's keys (some of which later went away).
const std::array<SchemaKeys, 2>& gnomeSchemas() {
    static const std::array<SchemaKeys, 2> schemas{{
        {"org.gnome.shell.keybindings", {"show-screenshot-ui", "screenshot", "screenshot-window"}},
        {"org.gnome.settings-daemon.plugins.media-keys",
         {"screenshot", "window-screenshot", "area-screenshot", "screenshot-clip", "window-screenshot-clip",
          "area-screenshot-clip"}},
    }};
    return schemas;
}

// GSettings writes a switched-off binding as an empty list, [''] or
// 'disabled'.
bool bindsAKey(const std::vector<std::string>& accelerators) {
    for (const auto& accelerator : accelerators) {
        if (!accelerator.empty() && accelerator != "disabled") return true;
    }
    return false;
}

// "Combined" from two sources, the stronger answer winning.
ScreenshotBindings stronger(ScreenshotBindings a, ScreenshotBindings b) {
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// KDE 5.x names the screenshot tool's group after its desktop file; older
// releases after the program.
bool isScreenshotToolGroup(std::string_view header) {
    return header == "[org.kde.spectacle.desktop]" || header == "[spectacle]";
}

// "active,default,description": the active keys, tab-separated; "none" or
// nothing means the action has no key.
bool activeKeysBound(std::string_view value) {
    const std::string_view active = trimmed(value.substr(0, value.find(',')));
    if (active.empty() || active == "none") return false;
    size_t start = 0;
    while (start <= active.size()) {
        const size_t tab = active.find('\t', start);
        const std::string_view one = trimmed(active.substr(start, tab == std::string_view::npos ? active.npos : tab - start));
        if (!one.empty() && one != "none") return true;
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return false;
}

}  // namespace

ScreenshotBindings gnomeScreenshotBindings(const GSettingsLookup& lookup) {
    ScreenshotBindings result = ScreenshotBindings::absent;
    for (const auto& [schema, keys] : gnomeSchemas()) {
        for (const auto key : keys) {
            const GSettingsRead read = lookup(schema, key);
            switch (read.kind) {
                case GSettingsRead::Kind::noSchema: break;
                case GSettingsRead::Kind::noKey: result = stronger(result, ScreenshotBindings::disabled); break;
                case GSettingsRead::Kind::unreadable: result = stronger(result, ScreenshotBindings::unreadable); break;
                case GSettingsRead::Kind::strings:
                    result = stronger(result, bindsAKey(read.strings) ? ScreenshotBindings::enabled
                                                                       : ScreenshotBindings::disabled);
                    break;
            }
            if (read.kind == GSettingsRead::Kind::noSchema) break;  // the schema's other keys tell nothing more
        }
    }
    return result;
}

ScreenshotBindings kdeScreenshotBindings(std::string_view text) {
    ScreenshotBindings result = ScreenshotBindings::absent;
    bool inGroup = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = isScreenshotToolGroup(line);
            if (inGroup) result = stronger(result, ScreenshotBindings::disabled);
            continue;
        }
        const size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        if (key == "_k_friendly_name") continue;
        if (activeKeysBound(line.substr(equals + 1))) result = ScreenshotBindings::enabled;
    }
    return result;
}

ScreenshotBindings kdeScreenshotBindingsAt(const std::filesystem::path& configFile) {
    // The file holds every global shortcut of the session: a few dozen KiB.
    const FileRead read = readCappedFile(configFile, 4 * 1024 * 1024);
    switch (read.kind) {
        case FileRead::Kind::missing: return ScreenshotBindings::absent;
        case FileRead::Kind::text: return kdeScreenshotBindings(read.text);
        case FileRead::Kind::unusable:
        case FileRead::Kind::failed: return ScreenshotBindings::unreadable;
    }
    return ScreenshotBindings::unreadable;
}

bool anyScreenshotShortcutEnabled(const ScreenshotShortcutSources& sources) {
    const auto counts = [](ScreenshotBindings bindings) {
        return bindings == ScreenshotBindings::enabled || bindings == ScreenshotBindings::unreadable;
    };
    if (sources.grabRefused && sources.grabRefused()) return true;
    if (sources.gsettings && counts(gnomeScreenshotBindings(sources.gsettings))) return true;
    if (!sources.kdeConfigFile.empty() && counts(kdeScreenshotBindingsAt(sources.kdeConfigFile))) return true;
    return false;
}

std::filesystem::path defaultKdeShortcutsFile() {
    const auto base = configHome();
    if (!base) return {};
    return *base / "kglobalshortcutsrc";
}

}  // namespace tessarin
