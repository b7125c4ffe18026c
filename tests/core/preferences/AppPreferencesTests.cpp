#include "core/preferences/AppPreferences.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/preferences/JsonFileStore.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using nlohmann::json;

using testing::FakeLoginItems;

// Every preference as read, under its stored key.
json all(const AppPreferences& p) {
    const auto& selection = p.lastCaptureSelection();
    return {{"playSound", p.playSound()}, {"autoCopyToClipboard", p.autoCopyToClipboard()},
            {"showThumbnail", p.showThumbnail()}, {"hapticFeedbackEnabled", p.hapticFeedbackEnabled()},
            {"launchAtLogin", p.launchAtLogin()}, {"lastAnnotationTool", rawValue(p.lastAnnotationTool())},
            {"openAnnotationEditorAfterCapture", p.openAnnotationEditorAfterCapture()},
            {"defaultImageFormat", rawValue(p.defaultImageFormat())}, {"capturePreset", p.capturePreset().toJson()},
            {"capturePresetsEnabled", p.capturePresetsEnabled()}, {"historyMaxAgeDays", p.historyMaxAgeDays()},
            {"lastCaptureSelection", selection ? selection->toJson() : json()}, {"historyEnabled", p.historyEnabled()},
            {"rememberLastCaptureSelection", p.rememberLastCaptureSelection()}, {"historyPaused", p.historyPaused()},
            {"autoScrollDuringScrollingCapture", p.autoScrollDuringScrollingCapture()},
            {"freezeScreenDuringCapture", p.freezeScreenDuringCapture()}, {"historyMaxCount", p.historyMaxCount()},
            {"selfTimerDurationSeconds", p.selfTimerDurationSeconds()},
            {"quickAccessPosition", rawValue(p.quickAccessPosition())},
            {"quickAccessMaxCount", p.quickAccessMaxCount()},
            {"confirmURLSchemeActions", p.confirmURLSchemeActions()}};
}

const json area = StoredCaptureSelection::area(10, 20, 300, 200, 7).toJson();

// One stored value, what it reads as; every other preference reads as from
// an empty store, and reading changes nothing in the store.
TEST(AppPreferencesReading, EachValueIsCheckedWithAFallback) {
    const json preset = CapturePreset::fixedSize(1280, 720, "720p").toJson();
    const json both = {{"area", area["area"]}, {"fullscreen", {{"screenID", 1}}}};
    const json freeform = CapturePreset::freeform().toJson();
    InMemoryKeyValueStore empty;
    const json defaults = all(AppPreferences(empty));
    const struct { std::string key; json stored, expected; } rows[] = {
        {"selfTimerDurationSeconds", 0, 1}, {"selfTimerDurationSeconds", 18446744073709551615ull, 60},
        {"quickAccessMaxCount", 9, 5}, {"historyMaxCount", -3, 1}, {"historyMaxAgeDays", 1000, 365},
        // Only JSON integers count, and booleans must be JSON booleans.
        {"historyMaxCount", 3.0, 50}, {"historyMaxCount", "3", 50}, {"historyMaxCount", true, 50},
        {"historyMaxCount", nullptr, 50},
        {"playSound", false, false}, {"playSound", 0, true}, {"playSound", "false", true}, {"playSound", nullptr, true},
        {"historyPaused", true, true}, {"historyPaused", 1, false},
        // Raw values are exact and case sensitive.
        {"defaultImageFormat", "jpeg", "jpeg"},        {"defaultImageFormat", "JPEG", "png"},
        {"lastAnnotationTool", "Pixelate", "Pixelate"}, {"lastAnnotationTool", "freehand", "Freehand"},
        {"quickAccessPosition", "bottomLeft", "bottomLeft"}, {"quickAccessPosition", "BottomLeft", "bottomRight"},
        // Structured values: the object or its JSON text, anything else ignored.
        {"capturePreset", preset, preset}, {"capturePreset", preset.dump(), preset},
        {"lastCaptureSelection", area, area}, {"lastCaptureSelection", area.dump(), area},
        {"capturePreset", "{not json", freeform}, {"capturePreset", 42, freeform},
        {"capturePreset", {{"tilt", json::object()}}, freeform},
        {"lastCaptureSelection", "{not json", nullptr}, {"lastCaptureSelection", 42, nullptr},
        {"lastCaptureSelection", both, nullptr},
    };
    for (const auto& [key, stored, expected] : rows) {
        SCOPED_TRACE(key + " = " + stored.dump());
        InMemoryKeyValueStore store({{key, stored}});
        json want = defaults;
        want[key] = expected;
        EXPECT_EQ(all(AppPreferences(store)), want);
        EXPECT_EQ(store.values(), (std::map<std::string, json>{{key, stored}}));
    }
}

TEST(AppPreferencesReading, ForgetsAStoredSelectionWhenRememberingIsOff) {
    InMemoryKeyValueStore off({{"rememberLastCaptureSelection", false}, {"lastCaptureSelection", area}});
    EXPECT_EQ(AppPreferences(off).lastCaptureSelection(), std::nullopt);
    EXPECT_FALSE(off.contains("lastCaptureSelection"));

    InMemoryKeyValueStore notABool({{"rememberLastCaptureSelection", "no"}, {"lastCaptureSelection", area}});
    AppPreferences p(notABool);
    EXPECT_TRUE(p.rememberLastCaptureSelection());
    EXPECT_TRUE(p.lastCaptureSelection());
}

TEST(AppPreferencesWriting, SettersStoreTypedClampedValuesAtOnce) {
    InMemoryKeyValueStore store;
    AppPreferences p(store);
    p.setPlaySound(false);
    p.setDefaultImageFormat(ImageFormatPreference::jpeg);
    p.setQuickAccessPosition(QuickAccessPosition::bottomLeft);
    p.setSelfTimerDurationSeconds(90);
    p.setHistoryMaxCount(0);
    p.setCapturePreset(CapturePreset::aspectRatio(16, 9));
    p.setLastCaptureSelection(StoredCaptureSelection::area(10, 20, 300, 200, 7));
    json expected = json::parse(R"({"playSound":false, "defaultImageFormat":"jpeg", "quickAccessPosition":"bottomLeft",
        "selfTimerDurationSeconds":60, "historyMaxCount":1, "capturePreset":{"aspectRatio":{"width":16,"height":9}}})");
    expected["lastCaptureSelection"] = area;  // the JSON object itself
    // Compared as text, so a number stored as 60.0 or "60" would differ.
    EXPECT_EQ(json(store.values()).dump(), expected.dump());
    EXPECT_EQ(all(p), all(AppPreferences(store))) << "what is shown is what was stored";
    EXPECT_EQ(p.snapshot(), (AppPreferencesSnapshot{false, false, true, false, ImageFormatPreference::jpeg}));
}

TEST(AppPreferencesWriting, LaunchAtLoginAsksTheServiceOnlyOnChange) {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    loginItems.enabled = true;
    AppPreferences p(store, loginItems);
    EXPECT_TRUE(p.launchAtLogin());
    p.setLaunchAtLogin(true);
    p.setLaunchAtLogin(false);
    p.setLaunchAtLogin(false);
    EXPECT_EQ(loginItems.requests, std::vector<bool>{false});
    EXPECT_FALSE(p.launchAtLogin());
    EXPECT_TRUE(store.values().empty());

    loginItems.refuses = true;
    p.setLaunchAtLogin(true);
    EXPECT_FALSE(p.launchAtLogin()) << "shows the registration, not the wish";
}

TEST(AppPreferencesObserving, TellsSubscribersTheChangedKeyUntilTheyLetGo) {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    std::vector<std::string> seen;
    {
        AppPreferences p(store, loginItems);
        p.setLastCaptureSelection(StoredCaptureSelection::area(10, 20, 300, 200, 7));
        auto subscription = p.subscribe([&seen](std::string_view key) { seen.emplace_back(key); });
        p.setHistoryMaxAgeDays(7);
        p.setLaunchAtLogin(true);
        p.setRememberLastCaptureSelection(false);  // forgets the selection too
        EXPECT_EQ(p.lastCaptureSelection(), std::nullopt);
        subscription.reset();
        p.setPlaySound(false);
        p.setRememberLastCaptureSelection(true);  // stores only the switch
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"historyMaxAgeDays", "launchAtLogin", "rememberLastCaptureSelection",
                                              "lastCaptureSelection"}));
    const std::map<std::string, json> stored = {
        {"historyMaxAgeDays", 7}, {"playSound", false}, {"rememberLastCaptureSelection", true}};
    EXPECT_EQ(store.values(), stored);
}

TEST(AppPreferencesReplay, ReloadsTheSelectionTheAgentStoredMeanwhile) {
    testing::TemporaryHome home;
    JsonFileStore applicationStore(home.preferencesFile());
    AppPreferences application(applicationStore);
    int notified = 0;
    const auto subscription = application.subscribe([&notified](std::string_view) { ++notified; });
    {
        JsonFileStore agentStore(home.preferencesFile());
        AppPreferences(agentStore).setLastCaptureSelection(StoredCaptureSelection::fullscreen(3));
        ASSERT_TRUE(agentStore.synchronize());
    }
    EXPECT_EQ(application.lastCaptureSelection(), std::nullopt);
    EXPECT_EQ(application.reloadLastCaptureSelection(), StoredCaptureSelection::fullscreen(3));
    EXPECT_EQ(notified, 1);

    application.setRememberLastCaptureSelection(false);
    JsonFileStore(home.preferencesFile()).set("lastCaptureSelection", area);
    EXPECT_EQ(application.reloadLastCaptureSelection(), std::nullopt) << "not replayed while remembering is off";
}

}  // namespace
}  // namespace tessarin
