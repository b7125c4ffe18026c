#include <gtest/gtest.h>

#include "core/common/Localization.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/AppState.h"
#include "core/shell/LinkInbox.h"
#include "core/shell/ShortcutRegistration.h"

namespace tessarin {
namespace {

struct RecordingAlerts final : AlertPresenter {
    std::vector<std::pair<std::string, std::string>> shown;
    void showWarning(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

MenuRow action(MenuAction which, const char* title, const char* shortcut = "", const char* key = "", bool visible = true) {
    return {MenuRow::Kind::action, which, title, shortcut, key, visible};
}
MenuRow separator(bool visible = true) { return {MenuRow::Kind::separator, MenuAction::quit, "", "", "", visible}; }

TEST(StatusBarMenu, RowsInOrderWithTheCurrentShortcuts) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    ShortcutRegistration::applySystemAlignedDefaults(shortcuts, store);
    shortcuts.setShortcut(ShortcutName::recordVideo, KeyCombination::parse("ctrl+alt+r"));
    const std::vector<MenuRow> expected = {
        action(MenuAction::installUpdate, "Update Available", "", "", false),
        separator(false),
        action(MenuAction::captureAllInOne, "Capture All-in-One"),
        action(MenuAction::capturePreviousArea, "Capture Previous Area"),
        separator(),
        action(MenuAction::captureFullScreen, "Capture Full Screen", "Shift+Print"),
        action(MenuAction::captureArea, "Capture Area", "Print"),
        action(MenuAction::captureWindow, "Capture Window"),
        action(MenuAction::captureScrolling, "Capture Scrolling Content"),
        separator(),
        action(MenuAction::recordVideo, "Record Video", "Ctrl+Alt+R"),
        separator(),
        action(MenuAction::openHistory, "Open History"),
        action(MenuAction::restoreRecentlyClosed, "Restore Recently Closed"),
        separator(),
        action(MenuAction::openSettings, "Settings", "", "Ctrl+,"),
        separator(),
        action(MenuAction::quit, "Quit", "", "Ctrl+Q"),
    };
    EXPECT_EQ(statusBarMenuRows(shortcuts), expected);

    const auto withUpdate = statusBarMenuRows(shortcuts, true);
    EXPECT_TRUE(withUpdate[0].visible);
    EXPECT_TRUE(withUpdate[1].visible);
}

TEST(StatusBarMenu, TitlesAreLocalised) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    const auto previous = setLocalizationTable({{"Capture Area", "Bereich aufnehmen"}, {"Quit", "Beenden"}});
    const auto rows = statusBarMenuRows(shortcuts);
    setLocalizationTable(previous);
    EXPECT_EQ(rows[6].title, "Bereich aufnehmen");
    EXPECT_EQ(rows.back().title, "Beenden");
    EXPECT_EQ(rows[5].title, "Capture Full Screen");
}

TEST(StatusBarMenu, EveryShortcutRunsTheRowThatShowsIt) {
    for (const ShortcutName name : allShortcutNames) {
        SCOPED_TRACE(rawValue(name));
        EXPECT_EQ(shortcutNameOf(menuActionOf(name)), name);
        EXPECT_EQ(rawValue(menuActionOf(name)), rawValue(name));  // the rows are named as the shortcuts
        EXPECT_EQ(shortcutNameFromRawValue(rawValue(name)), name);
    }
    EXPECT_FALSE(shortcutNameOf(MenuAction::openSettings));
}

struct AppStateTest : ::testing::Test {
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
    RecordingAlerts alerts;
    AppState state{preferences, alerts};
    testing::CapturedLog log;
};

TEST_F(AppStateTest, EveryTriggerLogsOneDispatchLineAndRunsTheHandler) {
    int areas = 0;
    state.setHandler(MenuAction::captureArea, [&areas] { ++areas; });
    state.perform(MenuAction::captureArea, ActionSource::menu);
    state.performShortcut(ShortcutName::captureArea);
    state.perform(MenuAction::openSettings, ActionSource::link);
    state.performShortcut(ShortcutName::captureAllInOne);
    EXPECT_EQ(areas, 2);
    std::vector<std::string> messages;
    for (const auto& line : log.lines) {
        EXPECT_EQ(line.category, "Capture");
        messages.push_back(line.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "action.dispatch action=captureArea source=menu handled=true",
                            "action.dispatch action=captureArea source=shortcut handled=true",
                            "action.dispatch action=openSettings source=link handled=false",
                            "action.dispatch action=captureAllInOne source=shortcut handled=false",
                        }));
}

TEST_F(AppStateTest, AnyLinkWarnsAndRunsNothing) {
    bool ran = false;
    for (const MenuAction each : {MenuAction::captureArea, MenuAction::quit, MenuAction::openSettings}) {
        state.setHandler(each, [&ran] { ran = true; });
    }
    for (const char* link : {"tessarin://capture-area", "tessarin://quit", "", "https://example.com", "tessarin:%00"}) {
        state.handleExternalURL(link);
    }
    EXPECT_FALSE(ran);
    EXPECT_TRUE(log.lines.empty());
    ASSERT_EQ(alerts.shown.size(), 5u);
    for (const auto& [title, message] : alerts.shown) {
        EXPECT_EQ(title, "Unsupported URL");
        EXPECT_EQ(message, "Tessarin cannot handle this URL.");
    }
}

TEST_F(AppStateTest, ObserversHearOnlyRealChanges) {
    int told = 0;
    const auto subscription = state.subscribe([&told] { ++told; });
    state.setCapturing(true);
    state.setCapturing(true);
    state.setRecording(false);
    state.setRecording(true);
    state.setCapturing(false);
    EXPECT_EQ(told, 3);
}

TEST(LinkInbox, HoldsLinksUntilAHandlerThenPassesThemStraightOn) {
    LinkInbox inbox;
    std::vector<std::string> handled;
    inbox.deliver("tessarin://a");
    inbox.deliver("tessarin://b");
    EXPECT_EQ(inbox.pendingCount(), 2u);
    inbox.install([&](const std::string& link) {
        handled.push_back(link);
        // One arriving while the queue is handed over waits behind it.
        if (link == "tessarin://a") inbox.deliver("tessarin://c");
    });
    inbox.deliver("tessarin://d");
    EXPECT_EQ(handled, (std::vector<std::string>{"tessarin://a", "tessarin://b", "tessarin://c", "tessarin://d"}));
    EXPECT_EQ(inbox.pendingCount(), 0u);

    std::vector<std::string> other;
    inbox.install([&](const std::string& link) { other.push_back(link); });
    inbox.deliver("tessarin://e");
    EXPECT_EQ(other, std::vector<std::string>{"tessarin://e"});
    EXPECT_EQ(handled.size(), 4u);
}

}  // namespace
}  // namespace tessarin
