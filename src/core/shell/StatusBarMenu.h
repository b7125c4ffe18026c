#pragma once
// The tray menu as data: its rows in order, with their titles (localised),
// separators, the key combination each capture row shows and the key
// equivalents of Settings and Quit. The tray view builds its menu from
// these rows and refreshes the shortcut texts each time the menu opens.

#include <optional>
#include <string>
#include <vector>

#include "core/shell/KeyboardShortcuts.h"

namespace tessarin {

enum class MenuAction {
    installUpdate,
    captureAllInOne,
    capturePreviousArea,
    captureFullScreen,
    captureArea,
    captureWindow,
    captureScrolling,
    recordVideo,
    openHistory,
    restoreRecentlyClosed,
    openSettings,
    quit,
};

struct MenuRow {
    enum class Kind { action, separator };
    Kind kind = Kind::action;
    MenuAction action = MenuAction::quit;  // meaningless for a separator
    std::string title;                     // localised; empty for a separator
    std::string shortcutText;              // "Shift+Print", or empty
    std::string keyEquivalent;             // "Ctrl+,", "Ctrl+Q", or empty
    bool visible = true;

    friend bool operator==(const MenuRow&, const MenuRow&) = default;
};

// The shortcut name a row runs, if it has one.
std::optional<ShortcutName> shortcutNameOf(MenuAction action);
// The menu action a shortcut runs (every shortcut has one).
MenuAction menuActionOf(ShortcutName name);
// The title of the action's row, localised ("Capture Area"); the settings
// name shortcuts by it too.
std::string menuTitle(MenuAction action);

// Updates are the package manager's business: the update row and its
// separator are built hidden unless `updateAvailable`.
std::vector<MenuRow> statusBarMenuRows(const KeyboardShortcuts& shortcuts, bool updateAvailable = false);

}  // namespace tessarin
