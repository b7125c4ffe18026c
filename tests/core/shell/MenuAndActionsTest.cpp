#include <gtest/gtest.h>

#include "core/common/Localization.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/LinkInbox.h"
#include "core/shell/ShellTestSupport.h"
#include "core/shell/ShortcutRegistration.h"

namespace tessarin {
namespace {

MenuRow row(MenuAction action, const char* title, const char* shortcut = "", const char* key = "", bool visible = true) {
    return {MenuRow::Kind::action, action, title, shortcut, key, visible};
}
MenuRow separator(bool visible = true) { return {MenuRow::Kind::separator, MenuAction::quit, "", "", "", visible}; }

TEST(StatusBarMenu, RowsInOrderWithTheCurrentShortcutsAndLocalisedTitles) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    ShortcutRegistration::applySystemAlignedDefaults(shortcuts, store);
    shortcuts.setShortcut(ShortcutName::recordVideo, KeyCombination::parse("ctrl+alt+r"));
    const std::vector<MenuRow> expected = {
        row(MenuAction::installUpdate, "Update Available", "", "", false), separator(false),
        row(MenuAction::captureAllInOne, "Capture All-in-One"),
        row(MenuAction::capturePreviousArea, "Capture Previous Area"), separator(),
        row(MenuAction::captureFullScreen, "Capture Full Screen", "Shift+Print"),
        row(MenuAction::captureArea, "Capture Area", "Print"), row(MenuAction::captureWindow, "Capture Window"),
        row(MenuAction::captureScrolling, "Capture Scrolling Content"), separator(),
        row(MenuAction::recordVideo, "Record Video", "Ctrl+Alt+R"), separator(),
        row(MenuAction::openHistory, "Open History"),
        row(MenuAction::restoreRecentlyClosed, "Restore Recently Closed"), separator(),
        row(MenuAction::openSettings, "Settings", "", "Ctrl+,"), separator(),
        row(MenuAction::quit, "Quit", "", "Ctrl+Q"),
    };
    EXPECT_EQ(statusBarMenuRows(shortcuts), expected);
    const auto withUpdate = statusBarMenuRows(shortcuts, true);
    EXPECT_TRUE(withUpdate[0].visible && withUpdate[1].visible);

    const auto english = setLocalizationTable({{"Capture Area", "Bereich aufnehmen"}, {"Quit", "Beenden"}});
    const auto german = statusBarMenuRows(shortcuts);
    setLocalizationTable(english);
    EXPECT_EQ(german[6].title, "Bereich aufnehmen");
    EXPECT_EQ(german.back().title, "Beenden");
}

TEST(LinkInbox, HoldsLinksUntilAHandlerThenPassesThemStraightOn) {
    LinkInbox inbox;
    std::vector<std::string> handled;
    inbox.deliver("a");
    inbox.deliver("b");
    EXPECT_EQ(inbox.pendingCount(), 2u);
    inbox.install([&](const std::string& link) {
        handled.push_back(link);
        if (link == "a") inbox.deliver("c");  // arrives during the hand-over: waits behind "b"
    });
    inbox.deliver("d");
    EXPECT_EQ(handled, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(inbox.pendingCount(), 0u);
}

}  // namespace
}  // namespace tessarin

namespace tessarin {
namespace {

TEST(AppStateSettingsTest, OpenSettingsHandsTheTabToTheHandlerWhileItRuns) {
    InMemoryKeyValueStore store;
    AppPreferences preferences(store);
    testing::RecordingAlerts alerts;
    AppState state(preferences, alerts);
    std::vector<std::string> seen;
    state.setHandler(MenuAction::openSettings, [&] { seen.push_back(state.requestedSettingsTab()); });
    state.openSettings("history", ActionSource::link);
    state.perform(MenuAction::openSettings, ActionSource::menu);
    EXPECT_EQ(seen, (std::vector<std::string>{"history", ""}));
    EXPECT_EQ(state.requestedSettingsTab(), "");
}

}  // namespace
}  // namespace tessarin
