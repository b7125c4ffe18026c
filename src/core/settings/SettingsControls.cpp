#include "core/settings/SettingsControls.h"

#include "core/common/Localization.h"
#include "core/common/RawValue.h"
#include "core/preferences/PreferenceKeys.h"

namespace tessarin {
namespace {

using P = AppPreferences;
using T = SettingsTab;

std::vector<SettingsChoice> presetChoices(const P& preferences) {
    std::vector<SettingsChoice> choices;
    bool currentListed = false;
    for (const auto& preset : CapturePreset::builtIn()) {
        choices.push_back({preset.id(), preset.displayName()});
        currentListed = currentListed || preset == preferences.capturePreset();
    }
    if (!currentListed) {
        const auto& current = preferences.capturePreset();
        choices.push_back({current.id(), current.displayName()});
    }
    return choices;
}

void setPreset(P& preferences, const std::string& id) {
    for (const auto& preset : CapturePreset::builtIn()) {
        if (preset.id() == id) return preferences.setCapturePreset(preset);
    }
}

}  // namespace

const std::vector<SettingsToggle>& settingsToggles() {
    static const std::vector<SettingsToggle> toggles = {
        {T::general, "Capture", "Play sound on capture", "Play the shutter sound when you take a screenshot.",
         PreferenceKey::playSound, [](const P& p) { return p.playSound(); },
         [](P& p, bool v) { p.setPlaySound(v); }},
        {T::general, "Capture", "Auto-copy to clipboard", "Copy each capture to the clipboard automatically.",
         PreferenceKey::autoCopyToClipboard, [](const P& p) { return p.autoCopyToClipboard(); },
         [](P& p, bool v) { p.setAutoCopyToClipboard(v); }},
        {T::general, "Capture", "Show floating thumbnail", "Show the Quick Access preview after each capture.",
         PreferenceKey::showThumbnail, [](const P& p) { return p.showThumbnail(); },
         [](P& p, bool v) { p.setShowThumbnail(v); }},
        {T::general, "System", "Launch at login", "Start Tessarin automatically when you sign in.",
         PreferenceKey::launchAtLogin, [](const P& p) { return p.launchAtLogin(); },
         [](P& p, bool v) { p.setLaunchAtLogin(v); }},
        {T::general, "Privacy", "Confirm actions from links",
         "Ask before a tessarin:// link captures, records, or saves — so another app or website can't do it silently.",
         PreferenceKey::confirmURLSchemeActions, [](const P& p) { return p.confirmURLSchemeActions(); },
         [](P& p, bool v) { p.setConfirmURLSchemeActions(v); }},
        {T::screenshots, "Presets", "Enable capture presets", "Use a saved preset for new captures.",
         PreferenceKey::capturePresetsEnabled, [](const P& p) { return p.capturePresetsEnabled(); },
         [](P& p, bool v) { p.setCapturePresetsEnabled(v); }},
        {T::screenshots, "Capture", "Freeze screen when taking a screenshot",
         "Use this option to capture hover states, animations, or fast-moving content. Without a compositor the "
         "screen is always frozen while you select.",
         PreferenceKey::freezeScreenDuringCapture, [](const P& p) { return p.freezeScreenDuringCapture(); },
         [](P& p, bool v) { p.setFreezeScreenDuringCapture(v); }},
        {T::screenshots, "Capture", "Open annotation window after capture", "",
         PreferenceKey::openAnnotationEditorAfterCapture,
         [](const P& p) { return p.openAnnotationEditorAfterCapture(); },
         [](P& p, bool v) { p.setOpenAnnotationEditorAfterCapture(v); }},
        {T::screenshots, "Capture", "Remember last area or full screen capture", "",
         PreferenceKey::rememberLastCaptureSelection, [](const P& p) { return p.rememberLastCaptureSelection(); },
         [](P& p, bool v) { p.setRememberLastCaptureSelection(v); }},
        {T::screenshots, "Scrolling Capture", "Auto-scroll during scrolling capture",
         "Tessarin scrolls the window for you (needs Accessibility permission). Turn off to scroll manually.",
         PreferenceKey::autoScrollDuringScrollingCapture,
         [](const P& p) { return p.autoScrollDuringScrollingCapture(); },
         [](P& p, bool v) { p.setAutoScrollDuringScrollingCapture(v); }},
        {T::history, "History Recording", "Save capture history",
         "Keep a private, local history of completed screenshots.", PreferenceKey::historyEnabled,
         [](const P& p) { return p.historyEnabled(); }, [](P& p, bool v) { p.setHistoryEnabled(v); }},
        {T::history, "History Recording", "Pause history",
         "Temporarily stop adding new screenshots without deleting existing history.", PreferenceKey::historyPaused,
         [](const P& p) { return p.historyPaused(); }, [](P& p, bool v) { p.setHistoryPaused(v); }},
    };
    return toggles;
}

const std::vector<SettingsStepper>& settingsSteppers() {
    static const std::vector<SettingsStepper> steppers = {
        {T::screenshots, "Capture", "Self timer: %d seconds", PreferenceKey::selfTimerDurationSeconds,
         P::selfTimerBounds, [](const P& p) { return p.selfTimerDurationSeconds(); },
         [](P& p, int64_t v) { p.setSelfTimerDurationSeconds(v); }},
        {T::screenshots, "Quick Access", "Previews shown: %d", PreferenceKey::quickAccessMaxCount,
         P::quickAccessMaxCountBounds, [](const P& p) { return p.quickAccessMaxCount(); },
         [](P& p, int64_t v) { p.setQuickAccessMaxCount(v); }},
        {T::history, "Retention", "Maximum items: %d", PreferenceKey::historyMaxCount, P::historyMaxCountBounds,
         [](const P& p) { return p.historyMaxCount(); }, [](P& p, int64_t v) { p.setHistoryMaxCount(v); }},
        {T::history, "Retention", "Maximum age: %d days", PreferenceKey::historyMaxAgeDays, P::historyMaxAgeDaysBounds,
         [](const P& p) { return p.historyMaxAgeDays(); }, [](P& p, int64_t v) { p.setHistoryMaxAgeDays(v); }},
    };
    return steppers;
}

const std::vector<SettingsPicker>& settingsPickers() {
    static const std::vector<SettingsPicker> pickers = {
        {T::screenshots, "Presets", "Default preset", PreferenceKey::capturePreset, presetChoices,
         [](const P& p) { return p.capturePreset().id(); }, setPreset},
        {T::screenshots, "Quick Access", "Position", PreferenceKey::quickAccessPosition,
         [](const P&) {
             return std::vector<SettingsChoice>{{"bottomRight", localized("Bottom Right")},
                                                {"bottomLeft", localized("Bottom Left")}};
         },
         [](const P& p) { return std::string(rawValue(p.quickAccessPosition())); },
         [](P& p, const std::string& v) {
             if (const auto position = fromRawValue<QuickAccessPosition>(v)) p.setQuickAccessPosition(*position);
         }},
        {T::storage, "Images", "Default image format", PreferenceKey::defaultImageFormat,
         [](const P&) {
             return std::vector<SettingsChoice>{{"png", localized("PNG")}, {"jpeg", localized("JPEG")}};
         },
         [](const P& p) { return std::string(rawValue(p.defaultImageFormat())); },
         [](P& p, const std::string& v) {
             if (const auto format = fromRawValue<ImageFormatPreference>(v)) p.setDefaultImageFormat(*format);
         }},
    };
    return pickers;
}

std::string stepperTitle(const SettingsStepper& stepper, int value) {
    std::string title = localized(stepper.titleFormat);
    const size_t at = title.find("%d");
    if (at != std::string::npos) title.replace(at, 2, std::to_string(value));
    return title;
}

bool writeToggle(const SettingsToggle& toggle, AppPreferences& preferences, bool value) {
    if (toggle.read(preferences) == value) return false;
    toggle.set(preferences, value);
    return true;
}

bool writeStepper(const SettingsStepper& stepper, AppPreferences& preferences, int64_t value) {
    if (stepper.read(preferences) == stepper.bounds.clamp(value)) return false;
    stepper.set(preferences, value);
    return true;
}

bool writePicker(const SettingsPicker& picker, AppPreferences& preferences, const std::string& value) {
    if (picker.read(preferences) == value) return false;
    const auto before = picker.read(preferences);
    picker.set(preferences, value);
    return picker.read(preferences) != before;
}

}  // namespace tessarin
