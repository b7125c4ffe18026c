#include <gtest/gtest.h>

#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/GlobalShortcutCenter.h"
#include "core/shell/ShortcutRegistration.h"
#include "support/FakeGlobalShortcutGrabber.h"

namespace tessarin {
namespace {

using nlohmann::json;
namespace Registration = ShortcutRegistration;

KeyCombination keys(const char* text) { return *KeyCombination::parse(text); }

// The grab ids: a name's index in allShortcutNames.
constexpr int areaID = 0;
constexpr int fullScreenID = 1;
constexpr int windowID = 5;

TEST(KeyboardShortcuts, KeepsTheTextFormAndReadsAnUnparsableValueAsUnassigned) {
    InMemoryKeyValueStore store;
    KeyboardShortcuts shortcuts(store);
    int told = 0;
    const auto subscription = shortcuts.subscribe([&told](ShortcutName name) {
        EXPECT_EQ(name, ShortcutName::captureWindow);
        ++told;
    });
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("alt+shift+W"));
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Shift+Alt+w"));  // the same: no change
    EXPECT_EQ(store.object("KeyboardShortcuts_captureWindow"), json("Alt+Shift+w"));
    EXPECT_EQ(shortcuts.nameAssigned(keys("Alt+Shift+W")), ShortcutName::captureWindow);
    shortcuts.setShortcut(ShortcutName::captureWindow, std::nullopt);
    shortcuts.setShortcut(ShortcutName::captureWindow, std::nullopt);
    EXPECT_FALSE(store.contains("KeyboardShortcuts_captureWindow"));
    EXPECT_EQ(told, 2);

    for (const json& stored : {json(42), json(""), json("Ctrl+"), json("Print+Print"), json::object()}) {
        SCOPED_TRACE(stored.dump());
        store.set("KeyboardShortcuts_captureArea", stored);
        EXPECT_FALSE(shortcuts.shortcut(ShortcutName::captureArea));
        EXPECT_EQ(store.object("KeyboardShortcuts_captureArea"), stored);  // left alone
    }
}

TEST(ShortcutRegistration, AssignsTheDefaultsOnceWithoutTakingAUsersKey) {
    const struct {
        const char* name;
        std::map<std::string, json> stored;
        std::map<std::string, json> expected;  // the shortcut keys afterwards
    } rows[] = {
        {"first start", {}, {{"KeyboardShortcuts_captureArea", "Print"}, {"KeyboardShortcuts_captureFullScreen", "Shift+Print"}}},
        {"flag set: nothing", {{"hasSetDefaultShortcutsV3", true}}, {}},
        {"Print is the user's window shortcut",
         {{"KeyboardShortcuts_captureWindow", "Print"}},
         {{"KeyboardShortcuts_captureWindow", "Print"}, {"KeyboardShortcuts_captureFullScreen", "Shift+Print"}}},
        {"former window shortcut stays",
         {{"KeyboardShortcuts_captureWindow", "Alt+Print"}},
         {{"KeyboardShortcuts_captureWindow", "Alt+Print"}, {"KeyboardShortcuts_captureArea", "Print"},
          {"KeyboardShortcuts_captureFullScreen", "Shift+Print"}}},
        {"already the defaults", {{"KeyboardShortcuts_captureArea", "Print"}},
         {{"KeyboardShortcuts_captureArea", "Print"}, {"KeyboardShortcuts_captureFullScreen", "Shift+Print"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InMemoryKeyValueStore store(row.stored);
        KeyboardShortcuts shortcuts(store);
        Registration::setDefaultShortcutsIfNeeded(shortcuts, store);
        auto values = store.values();
        EXPECT_EQ(values["hasSetDefaultShortcutsV3"], json(true));
        values.erase("hasSetDefaultShortcutsV3");
        EXPECT_EQ(values, row.expected);
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

TEST_F(CenterTest, RunsTheActionOnceOnAReleasePairedWithAPress) {
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Print"));
    start();
    using Step = void (testing::FakeGlobalShortcutGrabber::*)(int);
    const Step down = &testing::FakeGlobalShortcutGrabber::keyDown, up = &testing::FakeGlobalShortcutGrabber::keyUp;
    const struct { const char* name; std::vector<std::pair<Step, int>> steps; size_t runs; } rows[] = {
        {"press and release", {{down, areaID}, {up, areaID}}, 1},
        {"held key repeats", {{down, areaID}, {down, areaID}, {down, areaID}, {up, areaID}}, 1},
        {"release without press", {{up, areaID}}, 0},
        {"second release", {{down, areaID}, {up, areaID}, {up, areaID}}, 1},
        {"twice", {{down, areaID}, {up, areaID}, {down, areaID}, {up, areaID}}, 2},
        {"unassigned id", {{down, windowID}, {up, windowID}}, 0},
        {"unknown id", {{down, 99}, {up, 99}, {down, -1}, {up, -1}}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fired.clear();
        for (const auto& [step, id] : row.steps) (grabber.*step)(id);
        EXPECT_EQ(fired.size(), row.runs);
        for (const ShortcutName name : fired) EXPECT_EQ(name, ShortcutName::captureArea);
    }
}

TEST_F(CenterTest, FollowsAssignmentChangesAtOnce) {
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Print"));
    shortcuts.setShortcut(ShortcutName::captureFullScreen, keys("Shift+Print"));
    start();
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"grab 0 Print", "grab 1 Shift+Print"}));
    EXPECT_EQ(center->status(ShortcutName::captureArea), ShortcutStatus::active);
    EXPECT_EQ(center->status(ShortcutName::captureWindow), ShortcutStatus::unassigned);
    EXPECT_EQ(center->problem(ShortcutName::captureArea), "");

    grabber.calls.clear();
    grabber.keyDown(areaID);  // held while the assignment changes: its release is not ours
    shortcuts.setShortcut(ShortcutName::captureArea, keys("Ctrl+A"));
    grabber.keyUp(areaID);
    shortcuts.setShortcut(ShortcutName::captureFullScreen, std::nullopt);
    EXPECT_EQ(grabber.calls, (std::vector<std::string>{"release 0", "grab 0 Ctrl+a", "release 1"}));
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::unassigned);

    center->releaseAll();
    EXPECT_TRUE(grabber.held.empty());
    EXPECT_FALSE(grabber.listening());
    grabber.calls.clear();
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Alt+Print"));
    EXPECT_TRUE(grabber.calls.empty());
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
    EXPECT_EQ(grabber.held.at(areaID), keys("Shift+Print"));
}

TEST_F(CenterTest, ReportsEachOutcomeAndRemembersARefusal) {
    testing::CapturedLog log;
    grabber.outcomes["Shift+Print"] = {GrabOutcome::refused, "held by another client"};
    grabber.outcomes["Ctrl+XF86Nothing"] = {GrabOutcome::unknownKey, "no keycode"};
    grabber.outcomes["Alt+Print"] = {GrabOutcome::failed, "no X connection"};
    shortcuts.setShortcut(ShortcutName::captureFullScreen, keys("Shift+Print"));
    shortcuts.setShortcut(ShortcutName::captureScrolling, keys("Ctrl+XF86Nothing"));
    shortcuts.setShortcut(ShortcutName::captureWindow, keys("Alt+Print"));
    start();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::refused);
    EXPECT_TRUE(center->wasRefused(ShortcutName::captureFullScreen));
    EXPECT_EQ(center->problem(ShortcutName::captureFullScreen), "Shift+Print is already used by another application.");
    EXPECT_EQ(center->status(ShortcutName::captureScrolling), ShortcutStatus::unavailable);
    EXPECT_EQ(center->status(ShortcutName::captureWindow), ShortcutStatus::unavailable);
    EXPECT_EQ(center->problem(ShortcutName::captureWindow),
              "Alt+Print cannot be used as a global shortcut here: no X connection");
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0].message, "shortcut.refused name=captureFullScreen keys=Shift+Print reason=held by another client");

    // The keyboard map changes: the regrab's verdict replaces the status,
    // but the refusal is remembered for the first-run guide.
    grabber.outcomes.erase("Shift+Print");
    grabber.remap();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::active);
    EXPECT_TRUE(center->wasRefused(ShortcutName::captureFullScreen));
    grabber.outcomes["Shift+Print"] = {GrabOutcome::refused, "taken after remap"};
    grabber.remap();
    EXPECT_EQ(center->status(ShortcutName::captureFullScreen), ShortcutStatus::refused);
    EXPECT_EQ(log.lines.back().message, "shortcut.refused name=captureFullScreen keys=Shift+Print reason=taken after remap");

    // A refused grab keeps what was granted, so its key still works.
    grabber.keyDown(fullScreenID);
    grabber.keyUp(fullScreenID);
    EXPECT_EQ(fired, std::vector<ShortcutName>{ShortcutName::captureFullScreen});
}

}  // namespace
}  // namespace tessarin
