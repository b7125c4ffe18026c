#include <gtest/gtest.h>

#include "core/common/Localization.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/LinkInbox.h"
#include "core/shell/ShellTestSupport.h"
#include "core/shell/ShortcutRegistration.h"

namespace tessarin {
namespace {

TEST(StatusBarMenu, RowsInOrderWithTheCurrentShortcutsAndLocalisedTitles) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    ShortcutRegistration::applySystemAlignedDefaults(shortcuts, store);
    shortcuts.setShortcut(ShortcutName::recordVideo, KeyCombination::parse("ctrl+alt+r"));
    // Each row shows the shortcut assigned now; the update rows only when there is one.
    const auto rows = statusBarMenuRows(shortcuts);
    std::map<MenuAction, std::string> shown;
    for (const MenuRow& r : rows) {
        if (r.kind == MenuRow::Kind::action) shown[r.action] = r.shortcutText;
    }
    EXPECT_EQ(shown[MenuAction::captureFullScreen], "Shift+Print");
    EXPECT_EQ(shown[MenuAction::captureArea], "Print");
    EXPECT_EQ(shown[MenuAction::recordVideo], "Ctrl+Alt+R");
    EXPECT_EQ(shown[MenuAction::captureWindow], "");
    EXPECT_FALSE(rows[0].visible || rows[1].visible);
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
