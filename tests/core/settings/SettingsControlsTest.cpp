#include "core/settings/SettingsControls.h"

#include <gtest/gtest.h>

#include <set>

#include "core/preferences/PreferenceKeys.h"

namespace tessarin {
namespace {

struct SettingsControlsTest : ::testing::Test {
    InMemoryKeyValueStore store;
    AppPreferences preferences{store};
};

TEST_F(SettingsControlsTest, EveryStoredPreferenceHasOneControl) {
    std::multiset<std::string> keys;
    for (const auto& toggle : settingsToggles()) keys.insert(toggle.key);
    for (const auto& stepper : settingsSteppers()) keys.insert(stepper.key);
    for (const auto& picker : settingsPickers()) keys.insert(picker.key);
    const std::multiset<std::string> expected = {
        PreferenceKey::playSound, PreferenceKey::autoCopyToClipboard, PreferenceKey::showThumbnail,
        PreferenceKey::launchAtLogin, PreferenceKey::confirmURLSchemeActions, PreferenceKey::capturePresetsEnabled,
        PreferenceKey::capturePreset, PreferenceKey::selfTimerDurationSeconds, PreferenceKey::freezeScreenDuringCapture,
        PreferenceKey::openAnnotationEditorAfterCapture, PreferenceKey::rememberLastCaptureSelection,
        PreferenceKey::autoScrollDuringScrollingCapture, PreferenceKey::quickAccessMaxCount,
        PreferenceKey::quickAccessPosition, PreferenceKey::historyEnabled, PreferenceKey::historyPaused,
        PreferenceKey::historyMaxCount, PreferenceKey::historyMaxAgeDays, PreferenceKey::defaultImageFormat,
    };
    EXPECT_EQ(keys, expected);
}

TEST_F(SettingsControlsTest, WritingTheShownValueLeavesTheStoreUntouched) {
    for (const auto& toggle : settingsToggles()) EXPECT_FALSE(writeToggle(toggle, preferences, toggle.read(preferences)));
    for (const auto& stepper : settingsSteppers()) {
        EXPECT_FALSE(writeStepper(stepper, preferences, stepper.read(preferences)));
    }
    for (const auto& picker : settingsPickers()) EXPECT_FALSE(writePicker(picker, preferences, picker.read(preferences)));
    EXPECT_TRUE(store.values().empty());
}

TEST_F(SettingsControlsTest, SteppersClampAndShowTheirValueInTheTitle) {
    const struct { const char* key; int64_t written; int stored; const char* title; } rows[] = {
        {PreferenceKey::selfTimerDurationSeconds, 90, 60, "Self timer: 60 seconds"},
        {PreferenceKey::quickAccessMaxCount, 9, 5, "Previews shown: 5"},
        {PreferenceKey::historyMaxAgeDays, 1000, 365, "Maximum age: 365 days"},
        {PreferenceKey::historyMaxAgeDays, -4, 1, "Maximum age: 1 days"},
    };
    for (const auto& [key, written, stored, title] : rows) {
        SCOPED_TRACE(std::string(key) + " " + std::to_string(written));
        const auto& steppers = settingsSteppers();
        const auto stepper = std::find_if(steppers.begin(), steppers.end(),
                                          [key = key](const SettingsStepper& s) { return std::string(s.key) == key; });
        ASSERT_NE(stepper, steppers.end());
        writeStepper(*stepper, preferences, written);
        EXPECT_EQ(stepper->read(preferences), stored);
        EXPECT_EQ(AppPreferences(store).snapshot(), preferences.snapshot());  // what reached the store reads back
        if (store.contains(key)) {
            EXPECT_EQ(store.object(key), nlohmann::json(stored));
        }
        EXPECT_EQ(stepperTitle(*stepper, stepper->read(preferences)), title);
    }
}

TEST_F(SettingsControlsTest, APresetNotAmongTheBuiltInsIsListedAndNotRewritten) {
    const auto custom = CapturePreset::aspectRatio(7, 3);
    store.set(PreferenceKey::capturePreset, custom.toJson());
    AppPreferences reopened(store);
    const auto& picker = settingsPickers().front();
    ASSERT_EQ(std::string(picker.key), PreferenceKey::capturePreset);
    const auto choices = picker.choices(reopened);
    EXPECT_EQ(choices.size(), CapturePreset::builtIn().size() + 1);
    EXPECT_EQ(choices.back().value, custom.id());
    EXPECT_EQ(picker.read(reopened), custom.id());
    EXPECT_FALSE(writePicker(picker, reopened, custom.id()));
    EXPECT_EQ(store.object(PreferenceKey::capturePreset), custom.toJson());
    // Choosing a built-in replaces it; an unknown id changes nothing.
    EXPECT_FALSE(writePicker(picker, reopened, "ratio-99-1"));
    EXPECT_EQ(store.object(PreferenceKey::capturePreset), custom.toJson());
    EXPECT_TRUE(writePicker(picker, reopened, "freeform"));
    EXPECT_EQ(store.object(PreferenceKey::capturePreset), CapturePreset::freeform().toJson());
    EXPECT_EQ(picker.choices(reopened).size(), CapturePreset::builtIn().size());
}

TEST_F(SettingsControlsTest, PickersStoreRawValuesAndIgnoreUnknownOnes) {
    const auto& pickers = settingsPickers();
    const auto& position = pickers[1];
    const auto& format = pickers[2];
    EXPECT_TRUE(writePicker(position, preferences, "bottomLeft"));
    EXPECT_EQ(store.object(PreferenceKey::quickAccessPosition), nlohmann::json("bottomLeft"));
    EXPECT_FALSE(writePicker(position, preferences, "topLeft"));
    EXPECT_TRUE(writePicker(format, preferences, "jpeg"));
    EXPECT_EQ(store.object(PreferenceKey::defaultImageFormat), nlohmann::json("jpeg"));
    EXPECT_FALSE(writePicker(format, preferences, "JPEG"));
    EXPECT_EQ(store.object(PreferenceKey::defaultImageFormat), nlohmann::json("jpeg"));
}

}  // namespace
}  // namespace tessarin
