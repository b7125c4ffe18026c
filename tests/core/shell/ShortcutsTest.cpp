#include <gtest/gtest.h>

#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/GlobalShortcutCenter.h"
#include "core/shell/ShortcutRegistration.h"
#include "support/FakeGlobalShortcutGrabber.h"

namespace tessarin {
namespace {

using nlohmann::json;

KeyCombination keys(const char* text) { return *KeyCombination::parse(text); }

// Grab ids: the name's index in allShortcutNames.
constexpr int areaID = 0, fullScreenID = 1, windowID = 5;

TEST(KeyboardShortcuts, StoresTheTextFormAndReadsAnUnparsableValueAsUnassigned) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    int told = 0;
    const auto subscription = shortcuts.subscribe([&told](ShortcutName) { ++told; });
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("alt+shift+W"));
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Shift+Alt+w"));  // no change: not told
    EXPECT_EQ(store.object("KeyboardShortcuts_captureWindow"), json("Alt+Shift+w"));
    EXPECT_EQ(told, 1);
    for (const json& stored : {json(42), json(""), json("Ctrl+"), json::object()}) {
        store.set("KeyboardShortcuts_captureArea", stored);
        EXPECT_FALSE(shortcuts.shortcut(ShortcutName::captureArea)) << stored;
        EXPECT_EQ(store.object("KeyboardShortcuts_captureArea"), stored);  // left alone
    }
}

TEST(ShortcutRegistration, AssignsTheDefaultsOnceWithoutTakingAUsersKey) {
    const std::string area = "KeyboardShortcuts_captureArea", full = "KeyboardShortcuts_captureFullScreen",
                      window = "KeyboardShortcuts_captureWindow";
    const struct { const char* name; std::map<std::string, json> before, after; } rows[] = {
        {"first start", {}, {{area, "Print"}, {full, "Shift+Print"}}},
        {"flag already set", {{"hasSetDefaultShortcutsV3", true}}, {}},
        {"Print is the user's window key", {{window, "Print"}}, {{window, "Print"}, {full, "Shift+Print"}}},
        {"former window key stays", {{window, "Alt+Print"}}, {{window, "Alt+Print"}, {area, "Print"}, {full, "Shift+Print"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InMemoryKeyValueStore store(row.before);
        KeyboardShortcuts shortcuts(store);
        ShortcutRegistration::setDefaultShortcutsIfNeeded(shortcuts, store);
        auto values = store.values();
        EXPECT_EQ(values["hasSetDefaultShortcutsV3"], json(true));
        values.erase("hasSetDefaultShortcutsV3");
        EXPECT_EQ(values, row.after);
    }
}

struct CenterTest : ::testing::Test {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts{store};
    testing::FakeGlobalShortcutGrabber grabber;
    std::vector<ShortcutName> fired;
    std::optional<GlobalShortcutCenter> center;

    void start() {
        center.emplace(shortcuts, grabber, [this](ShortcutName name) { fired.push_back(name); });
        center->registerAll();
    }
};

TEST_F(CenterTest, FollowsAssignmentChangesAtOnce) {
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Print"));
    shortcuts.setShortcut(ShortcutName::captureFullScreen, keys("Shift+Print"));
    start();
    EXPECT_EQ(center->status(ShortcutName::captureArea), ShortcutStatus::active);
    grabber.keyDown(areaID);  // held while the assignment changes: its release is not ours
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Ctrl+A"));
    grabber.keyUp(areaID);
    shortcuts.setShortcut(ShortcutName::captureFullScreen, std::nullopt);
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"grab 0 Print", "grab 1 Shift+Print", "release 0",
                                                       "grab 0 Ctrl+a", "release 1"}));
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::unassigned);

    center->releaseAll();
    EXPECT_TRUE(grabber.held.empty());
    EXPECT_FALSE(grabber.listening());
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Alt+Print"));
    EXPECT_EQ(grabber.calls.back(), "release 0");  // no longer following
}

TEST_F(CenterTest, ASecondNameWithTheSameKeysIsUnavailableUntilTheFirstLetsGo) {
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Print"));
    start();
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Print"));
    EXPECT_EQ(center->status(ShortcutName::captureWindow), ShortcutStatus::unavailable);
    EXPECT_EQ(center->problem(ShortcutName::captureWindow), "Print is already the shortcut of “Capture Area”.");
    EXPECT_EQ(grabber.held.count(windowID), 0u);
    EXPECT_EQ(center->status(ShortcutName::captureArea), ShortcutStatus::active);

    shortcuts.setShortcut(ShortcutName::captureArea, keys("Shift+Print"));
    EXPECT_EQ(center->status(ShortcutName::captureWindow), ShortcutStatus::active);
    EXPECT_EQ(grabber.held.at(windowID), keys("Print"));
}

TEST_F(CenterTest, ReportsEachOutcomeAndRemembersARefusal) {
    grabber.outcomes["Shift+Print"] = {GrabOutcome::refused, "held by another client"};
    grabber.outcomes["Alt+Print"] = {GrabOutcome::failed, "no X connection"};
    shortcuts.setShortcut(ShortcutName::captureFullScreen, keys("Shift+Print"));
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Alt+Print"));
    start();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::refused);
    EXPECT_EQ(center->problem(ShortcutName::captureFullScreen), "Shift+Print is already used by another application.");
    EXPECT_EQ(center->status(ShortcutName::captureWindow), ShortcutStatus::unavailable);
    EXPECT_EQ(center->problem(ShortcutName::captureWindow),
              "Alt+Print cannot be used as a global shortcut here: no X connection");

    // A new keyboard map: the regrab's verdict is the status; the refusal is remembered.
    grabber.outcomes.erase("Shift+Print");
    grabber.remap();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::active);
    EXPECT_TRUE(center->wasRefused(ShortcutName::captureFullScreen));
    grabber.outcomes["Shift+Print"] = {GrabOutcome::refused, "taken after remap"};
    grabber.remap();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::refused);

    // A refused grab keeps the variants it was granted, so the key still works.
    grabber.keyDown(fullScreenID);
    grabber.keyUp(fullScreenID);
    EXPECT_EQ(fired, std::vector<ShortcutName>{ShortcutName::captureFullScreen});
}

}  // namespace
}  // namespace tessarin
