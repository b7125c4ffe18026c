#include "core/preferences/AppPreferences.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/preferences/JsonFileStore.h"
#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using nlohmann::json;

class FakeLoginItems final : public LoginItemService {
public:
    bool isEnabled() override { return enabled; }
    void setEnabled(bool value) override {
        requests.push_back(value);
        if (!refuses) enabled = value;
    }
    bool enabled = false;
    bool refuses = false;
    std::vector<bool> requests;
};

const json area = StoredCaptureSelection::area(10, 20, 300, 200, 7).toJson();

TEST(AppPreferencesReading, EmptyStoreYieldsTheDefaultsAndWritesNothing) {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    loginItems.enabled = true;
    const AppPreferences p(store, loginItems);
    EXPECT_TRUE(p.playSound());
    EXPECT_FALSE(p.autoCopyToClipboard());
    EXPECT_TRUE(p.showThumbnail());
    EXPECT_TRUE(p.hapticFeedbackEnabled());
    EXPECT_TRUE(p.launchAtLogin()) << "from the login-item service, not the store";
    EXPECT_FALSE(p.openAnnotationEditorAfterCapture());
    EXPECT_EQ(p.defaultImageFormat(), ImageFormatPreference::png);
    EXPECT_EQ(p.lastAnnotationTool(), AnnotationToolType::freehand);
    EXPECT_TRUE(p.capturePresetsEnabled());
    EXPECT_EQ(p.capturePreset(), CapturePreset::freeform());
    EXPECT_EQ(p.lastCaptureSelection(), std::nullopt);
    EXPECT_TRUE(p.rememberLastCaptureSelection());
    EXPECT_TRUE(p.autoScrollDuringScrollingCapture());
    EXPECT_TRUE(p.freezeScreenDuringCapture());
    EXPECT_EQ(p.selfTimerDurationSeconds(), 5);
    EXPECT_EQ(p.quickAccessPosition(), QuickAccessPosition::bottomRight);
    EXPECT_EQ(p.quickAccessMaxCount(), 5);
    EXPECT_FALSE(p.confirmURLSchemeActions());
    EXPECT_TRUE(p.historyEnabled());
    EXPECT_FALSE(p.historyPaused());
    EXPECT_EQ(p.historyMaxCount(), 50);
    EXPECT_EQ(p.historyMaxAgeDays(), 30);
    EXPECT_TRUE(store.values().empty());
    EXPECT_FALSE(AppPreferences(store).launchAtLogin()) << "no service: not registered";
}

TEST(AppPreferencesReading, IntegersAreClampedAndOnlyJsonIntegersCount) {
    InMemoryKeyValueStore store({{"quickAccessMaxCount", 0}, {"historyMaxAgeDays", 1000},
                                 {"historyMaxCount", -3}, {"selfTimerDurationSeconds", 18446744073709551615ull}});
    AppPreferences p(store);
    EXPECT_EQ(p.quickAccessMaxCount(), 1);
    EXPECT_EQ(p.historyMaxAgeDays(), 365);
    EXPECT_EQ(p.historyMaxCount(), 1);
    EXPECT_EQ(p.selfTimerDurationSeconds(), 60);

    store.set("quickAccessMaxCount", 9);
    EXPECT_EQ(AppPreferences(store).quickAccessMaxCount(), 5);
    for (const json& wrong : {json(3.0), json("3"), json(true), json(nullptr)}) {
        store.set("historyMaxCount", wrong);
        EXPECT_EQ(AppPreferences(store).historyMaxCount(), 50) << wrong.dump();
    }
}

TEST(AppPreferencesReading, BooleansMustBeJsonBooleans) {
    for (const json& wrong : {json(0), json("false"), json(nullptr)}) {
        InMemoryKeyValueStore store({{"playSound", wrong}, {"historyPaused", json(1)}});
        AppPreferences p(store);
        EXPECT_TRUE(p.playSound()) << wrong.dump();
        EXPECT_FALSE(p.historyPaused());
    }
    InMemoryKeyValueStore store({{"playSound", false}, {"historyPaused", true}});
    EXPECT_FALSE(AppPreferences(store).playSound());
    EXPECT_TRUE(AppPreferences(store).historyPaused());
}

TEST(AppPreferencesReading, TextNeedsAnExactCaseSensitiveRawValue) {
    InMemoryKeyValueStore store({{"defaultImageFormat", "JPEG"}, {"lastAnnotationTool", "freehand"},
                                 {"quickAccessPosition", "BottomLeft"}});
    AppPreferences p(store);
    EXPECT_EQ(p.defaultImageFormat(), ImageFormatPreference::png);
    EXPECT_EQ(p.lastAnnotationTool(), AnnotationToolType::freehand);
    EXPECT_EQ(p.quickAccessPosition(), QuickAccessPosition::bottomRight);

    InMemoryKeyValueStore exact({{"defaultImageFormat", "jpeg"}, {"lastAnnotationTool", "Pixelate"},
                                 {"quickAccessPosition", "bottomLeft"}});
    AppPreferences q(exact);
    EXPECT_EQ(q.defaultImageFormat(), ImageFormatPreference::jpeg);
    EXPECT_EQ(q.lastAnnotationTool(), AnnotationToolType::pixelate);
    EXPECT_EQ(q.quickAccessPosition(), QuickAccessPosition::bottomLeft);
}

TEST(AppPreferencesReading, StructuredValuesAcceptObjectsOrJsonTextAndIgnoreTheRest) {
    const json preset = CapturePreset::fixedSize(1280, 720, "720p").toJson();
    for (const json& form : {preset, json(preset.dump())}) {
        InMemoryKeyValueStore store({{"capturePreset", form}, {"lastCaptureSelection", json(area.dump())}});
        AppPreferences p(store);
        EXPECT_EQ(p.capturePreset(), CapturePreset::fixedSize(1280, 720, "720p"));
        EXPECT_EQ(p.lastCaptureSelection(), StoredCaptureSelection::area(10, 20, 300, 200, 7));
    }
    const json both = {{"area", area["area"]}, {"fullscreen", {{"screenID", 1}}}};
    for (const json& junk : {json("{not json"), json(42), json({{"tilt", json::object()}}), both}) {
        InMemoryKeyValueStore store({{"capturePreset", junk}, {"lastCaptureSelection", junk}});
        AppPreferences p(store);
        EXPECT_EQ(p.capturePreset(), CapturePreset::freeform()) << junk.dump();
        EXPECT_EQ(p.lastCaptureSelection(), std::nullopt) << junk.dump();
        EXPECT_TRUE(store.contains("lastCaptureSelection")) << "unreadable values are not deleted on read";
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

TEST(AppPreferencesWriting, SettersStoreTypedValuesAtOnce) {
    InMemoryKeyValueStore store;
    AppPreferences p(store);
    p.setAutoCopyToClipboard(true);
    p.setDefaultImageFormat(ImageFormatPreference::jpeg);
    p.setQuickAccessPosition(QuickAccessPosition::bottomLeft);
    p.setSelfTimerDurationSeconds(90);
    p.setHistoryMaxCount(0);
    p.setCapturePreset(CapturePreset::aspectRatio(16, 9));
    EXPECT_EQ(store.object("autoCopyToClipboard"), json(true));
    EXPECT_EQ(store.object("defaultImageFormat"), json("jpeg"));
    EXPECT_EQ(store.object("quickAccessPosition"), json("bottomLeft"));
    EXPECT_EQ(store.object("selfTimerDurationSeconds"), json(60));
    EXPECT_EQ(p.selfTimerDurationSeconds(), 60);
    EXPECT_EQ(store.object("historyMaxCount"), json(1));
    EXPECT_EQ(store.object("capturePreset"), json::parse(R"({"aspectRatio":{"width":16,"height":9}})"));

    for (const auto& [tool, raw] : RawValues<AnnotationToolType>::table) {
        p.setLastAnnotationTool(tool);
        EXPECT_EQ(store.object("lastAnnotationTool"), json(std::string(raw)));
        EXPECT_EQ(AppPreferences(store).lastAnnotationTool(), tool);
    }
}

TEST(AppPreferencesWriting, TurningRememberingOffForgetsTheSelection) {
    InMemoryKeyValueStore store;
    AppPreferences p(store);
    p.setLastCaptureSelection(StoredCaptureSelection::area(10, 20, 300, 200, 7));
    EXPECT_EQ(store.object("lastCaptureSelection"), area) << "stored as the JSON object itself";

    p.setRememberLastCaptureSelection(false);
    EXPECT_EQ(store.object("rememberLastCaptureSelection"), json(false));
    EXPECT_FALSE(store.contains("lastCaptureSelection"));
    EXPECT_EQ(p.lastCaptureSelection(), std::nullopt);

    p.setRememberLastCaptureSelection(true);
    EXPECT_EQ(store.values().size(), 1u) << "turning it on stores only the switch";
}

TEST(AppPreferencesWriting, LaunchAtLoginAsksTheServiceOnlyOnChange) {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    AppPreferences p(store, loginItems);
    p.setLaunchAtLogin(false);
    p.setLaunchAtLogin(true);
    p.setLaunchAtLogin(true);
    EXPECT_EQ(loginItems.requests, std::vector<bool>{true});
    EXPECT_TRUE(p.launchAtLogin());
    EXPECT_TRUE(store.values().empty());

    loginItems.refuses = true;
    p.setLaunchAtLogin(false);
    EXPECT_TRUE(p.launchAtLogin()) << "shows the registration, not the wish";
}

TEST(AppPreferencesSnapshotting, CopiesTheCompletionSettings) {
    InMemoryKeyValueStore store;
    AppPreferences p(store);
    p.setPlaySound(false);
    p.setShowThumbnail(false);
    p.setOpenAnnotationEditorAfterCapture(true);
    p.setDefaultImageFormat(ImageFormatPreference::jpeg);
    const AppPreferencesSnapshot expected{false, false, false, true, ImageFormatPreference::jpeg};
    EXPECT_EQ(p.snapshot(), expected);
}

TEST(AppPreferencesObserving, TellsSubscribersTheChangedKeyUntilTheyLetGo) {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    std::vector<std::string> seen;
    PreferenceSubscription outlives;
    {
        AppPreferences p(store, loginItems);
        auto subscription = p.subscribe([&seen](std::string_view key) { seen.emplace_back(key); });
        outlives = p.subscribe([](std::string_view) {});
        p.setHistoryMaxAgeDays(7);
        p.setLaunchAtLogin(true);
        p.setRememberLastCaptureSelection(false);
        subscription.reset();
        p.setPlaySound(false);
    }
    outlives.reset();  // after the preferences are gone: must do nothing
    EXPECT_EQ(seen, (std::vector<std::string>{"historyMaxAgeDays", "launchAtLogin", "rememberLastCaptureSelection",
                                              "lastCaptureSelection"}));
}

TEST(AppPreferencesReplay, ReloadsTheSelectionTheAgentStoredMeanwhile) {
    testing::TemporaryHome home;
    JsonFileStore applicationStore(home.preferencesFile());
    AppPreferences application(applicationStore);
    int notified = 0;
    const auto subscription = application.subscribe([&notified](std::string_view) { ++notified; });
    {
        JsonFileStore agentStore(home.preferencesFile());
        AppPreferences agent(agentStore);
        agent.setLastCaptureSelection(StoredCaptureSelection::fullscreen(3));
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
