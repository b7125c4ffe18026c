#pragma once
// Which control of the settings window edits which preference, with its
// pane, section and texts. The window builds its controls from these
// tables; every write goes through write*(), which leaves the store alone
// when the value is already the stored one, so filling a control while the
// window is built (combo boxes and spin boxes report a change as they are
// set up) never rewrites the preferences file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/preferences/AppPreferences.h"
#include "core/settings/SettingsNavigation.h"

namespace tessarin {

struct SettingsToggle {
    SettingsTab tab;
    std::string_view section;
    std::string_view title;
    std::string_view subtitle;  // may be empty
    const char* key;
    bool (*read)(const AppPreferences&);
    void (*set)(AppPreferences&, bool);
};

struct SettingsStepper {
    SettingsTab tab;
    std::string_view section;
    std::string_view titleFormat;  // "%d" stands for the value
    const char* key;
    AppPreferences::Bounds bounds;
    int (*read)(const AppPreferences&);
    void (*set)(AppPreferences&, int64_t);
};

struct SettingsChoice {
    std::string value;  // what the preference stores or identifies it by
    std::string label;  // localised
    friend bool operator==(const SettingsChoice&, const SettingsChoice&) = default;
};

struct SettingsPicker {
    SettingsTab tab;
    std::string_view section;
    std::string_view title;
    const char* key;
    // The built-in choices, plus the current value when it is none of them
    // (a preset stored by hand or by a newer release is shown, not lost).
    std::vector<SettingsChoice> (*choices)(const AppPreferences&);
    std::string (*read)(const AppPreferences&);
    // An unknown value is ignored.
    void (*set)(AppPreferences&, const std::string&);
};

// In pane order. Haptic feedback has no control here (there is nothing to
// feel on this platform); its key is kept.
const std::vector<SettingsToggle>& settingsToggles();
const std::vector<SettingsStepper>& settingsSteppers();
const std::vector<SettingsPicker>& settingsPickers();

// The stepper's title for a value, localised ("Self timer: 5 seconds").
std::string stepperTitle(const SettingsStepper& stepper, int value);

// Writes only a value that differs from what is stored; a stepper's value
// is clamped first. True when something was written.
bool writeToggle(const SettingsToggle& toggle, AppPreferences& preferences, bool value);
bool writeStepper(const SettingsStepper& stepper, AppPreferences& preferences, int64_t value);
bool writePicker(const SettingsPicker& picker, AppPreferences& preferences, const std::string& value);

}  // namespace tessarin
