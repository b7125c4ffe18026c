#include "core/shell/StatusBarMenu.h"

#include <string_view>

#include "core/common/Localization.h"

namespace tessarin {
namespace {

struct ActionInfo {
    MenuAction action;
    std::string_view title;  // English; localised when a row is built
    std::optional<ShortcutName> shortcut;
};

constexpr ActionInfo kActions[] = {
    {MenuAction::installUpdate, "Update Available", std::nullopt},
    {MenuAction::captureAllInOne, "Capture All-in-One", ShortcutName::captureAllInOne},
    {MenuAction::capturePreviousArea, "Capture Previous Area", ShortcutName::capturePreviousArea},
    {MenuAction::captureFullScreen, "Capture Full Screen", ShortcutName::captureFullScreen},
    {MenuAction::captureArea, "Capture Area", ShortcutName::captureArea},
    {MenuAction::captureWindow, "Capture Window", ShortcutName::captureWindow},
    {MenuAction::captureScrolling, "Capture Scrolling Content", ShortcutName::captureScrolling},
    {MenuAction::recordVideo, "Record Video", ShortcutName::recordVideo},
    {MenuAction::openHistory, "Open History", std::nullopt},
    {MenuAction::restoreRecentlyClosed, "Restore Recently Closed", std::nullopt},
    {MenuAction::openSettings, "Settings", std::nullopt},
    {MenuAction::quit, "Quit", std::nullopt},
};

const ActionInfo& infoOf(MenuAction action) {
    for (const auto& info : kActions) {
        if (info.action == action) return info;
    }
    return kActions[std::size(kActions) - 1];
}

MenuRow separator(bool visible = true) {
    MenuRow row;
    row.kind = MenuRow::Kind::separator;
    row.visible = visible;
    return row;
}

}  // namespace

std::optional<ShortcutName> shortcutNameOf(MenuAction action) { return infoOf(action).shortcut; }

MenuAction menuActionOf(ShortcutName name) {
    for (const auto& info : kActions) {
        if (info.shortcut == name) return info.action;
    }
    return MenuAction::captureArea;  // unreachable: every name has its row
}

std::string menuTitle(MenuAction action) { return localized(infoOf(action).title); }

std::vector<MenuRow> statusBarMenuRows(const KeyboardShortcuts& shortcuts, bool updateAvailable) {
    const auto row = [&shortcuts](MenuAction action, std::string keyEquivalent = {}, bool visible = true) {
        MenuRow built;
        built.action = action;
        built.title = menuTitle(action);
        if (const auto name = shortcutNameOf(action)) {
            if (const auto combination = shortcuts.shortcut(*name)) built.shortcutText = combination->displayText();
        }
        built.keyEquivalent = std::move(keyEquivalent);
        built.visible = visible;
        return built;
    };
    return {
        row(MenuAction::installUpdate, {}, updateAvailable),
        separator(updateAvailable),
        row(MenuAction::captureAllInOne),
        row(MenuAction::capturePreviousArea),
        separator(),
        row(MenuAction::captureFullScreen),
        row(MenuAction::captureArea),
        row(MenuAction::captureWindow),
        row(MenuAction::captureScrolling),
        separator(),
        row(MenuAction::recordVideo),
        separator(),
        row(MenuAction::openHistory),
        row(MenuAction::restoreRecentlyClosed),
        separator(),
        row(MenuAction::openSettings, "Ctrl+,"),
        separator(),
        row(MenuAction::quit, "Ctrl+Q"),
    };
}

}  // namespace tessarin
