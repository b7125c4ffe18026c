#include "core/onboarding/KeyboardSettingsCommand.h"

namespace tessarin {
namespace {

struct DesktopSettings {
    std::string_view desktop;  // as XDG_CURRENT_DESKTOP names it
    std::vector<ProgramCommand> candidates;  // newest release first
};

const std::vector<DesktopSettings>& knownDesktops() {
    static const std::vector<DesktopSettings> desktops = {
        {"GNOME", {{"gnome-control-center", {"keyboard"}}}},
        {"KDE", {{"systemsettings", {"kcm_keys"}}, {"systemsettings5", {"kcm_keys"}}}},
        {"XFCE", {{"xfce4-keyboard-settings", {}}}},
        {"MATE", {{"mate-keybinding-properties", {}}}},
        {"X-Cinnamon", {{"cinnamon-settings", {"keyboard"}}}},
        {"Cinnamon", {{"cinnamon-settings", {"keyboard"}}}},
        {"Unity", {{"gnome-control-center", {"keyboard"}}}},
    };
    return desktops;
}

}  // namespace

std::optional<ProgramCommand> keyboardSettingsCommand(std::string_view currentDesktop,
                                                      const std::function<bool(const std::string&)>& installed) {
    while (true) {
        const size_t colon = currentDesktop.find(':');
        const std::string_view name = currentDesktop.substr(0, colon);
        for (const auto& [desktop, candidates] : knownDesktops()) {
            if (desktop != name) continue;
            for (const auto& candidate : candidates) {
                if (installed(candidate.program)) return candidate;
            }
        }
        if (colon == std::string_view::npos) return std::nullopt;
        currentDesktop.remove_prefix(colon + 1);
    }
}

}  // namespace tessarin
