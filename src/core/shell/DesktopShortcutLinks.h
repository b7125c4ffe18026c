#pragma once
// Where the application cannot take global keys itself (a Wayland desktop
// without the shortcuts portal), the person gives each action a key in the
// desktop's own keyboard settings, running the program with the action's
// link: a later start of the program hands the link to the running copy.
// The settings' shortcut section and the first-run guide show these lines.

#include <string>
#include <string_view>
#include <vector>

#include "core/shell/ShortcutName.h"

namespace tessarin {

// The link that runs the shortcut's action: "tessarin://capture-area".
std::string_view shortcutLink(ShortcutName name);

struct DesktopShortcutBinding {
    ShortcutName name;
    std::string title;    // the action as the tray menu names it (localised)
    std::string command;  // "tessarin tessarin://capture-area"
};

// One line per shortcut name, in the settings' order.
std::vector<DesktopShortcutBinding> desktopShortcutBindings();

// Said above the lines.
inline constexpr std::string_view kDesktopShortcutsIntro =
    "This desktop does not let applications set global shortcuts. To capture with keys, add a custom "
    "shortcut for each action in your desktop's keyboard settings, running the command shown:";
// Said below them.
inline constexpr std::string_view kDesktopShortcutsOutro =
    "The same links work from any launcher, script or web page (for example xdg-open tessarin://capture-area).";

}  // namespace tessarin
