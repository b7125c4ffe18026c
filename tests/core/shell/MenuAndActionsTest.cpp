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

struct AppStateTest : ::testing::Test {
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
    testing::RecordingAlerts alerts;
    AppState state{preferences, alerts};
    testing::CapturedLog log;

    std::vector<std::string> logged() const {
        std::vector<std::string> messages;
        for (const auto& line : log.lines) messages.push_back(line.category + " " + line.message);
        return messages;
    }
};

TEST_F(AppStateTest, EveryTriggerLogsOneDispatchLineAndRunsTheHandler) {
    int areas = 0;
    state.setHandler(MenuAction::captureArea, [&areas] { ++areas; });
    state.perform(MenuAction::captureArea, ActionSource::menu);
    state.performShortcut(ShortcutName::captureArea);
    state.perform(MenuAction::openSettings, ActionSource::link);
    EXPECT_EQ(areas, 2);
    EXPECT_EQ(logged(), (std::vector<std::string>{
                            "Capture action.dispatch action=captureArea source=menu handled=true",
                            "Capture action.dispatch action=captureArea source=shortcut handled=true",
                            "Capture action.dispatch action=openSettings source=link handled=false",
                        }));
}

TEST_F(AppStateTest, AnyLinkWarnsAndRunsNothing) {
    bool ran = false;
    for (const MenuAction each : {MenuAction::captureArea, MenuAction::quit}) state.setHandler(each, [&ran] { ran = true; });
    for (const char* link : {"tessarin://capture-area", "tessarin://quit"}) {
        state.handleExternalURL(link);
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(log.lines.empty());
    const std::pair<std::string, std::string> warning{"Unsupported URL", "Tessarin cannot handle this URL."};
    EXPECT_EQ(alerts.shown, decltype(alerts.shown)(2, warning));
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
