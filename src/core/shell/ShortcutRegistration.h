#pragma once
// The system-aligned default shortcuts, assigned once per installation, as
// the desktops lay out their own screenshot keys: Print picks an area,
// Shift+Print takes the full screen. Alt+Print is the desktops' former
// window shortcut; an existing assignment of it is left alone.

#include <string_view>

#include "core/preferences/KeyValueStore.h"
#include "core/shell/KeyboardShortcuts.h"

namespace tessarin::ShortcutRegistration {

inline constexpr std::string_view defaultsAppliedKey = "hasSetDefaultShortcutsV3";

// What the settings show under the shortcut list.
inline constexpr std::string_view systemAlignedDefaultsNote =
    "System-aligned defaults: Full Screen uses Shift+Print, Area uses Print, and Window, Scrolling, or "
    "Record Video have no default shortcut.";

KeyCombination fullScreenDefault();     // Shift+Print
KeyCombination areaDefault();           // Print
KeyCombination formerWindowShortcut();  // Alt+Print

// Does nothing once the flag is set; otherwise applySystemAlignedDefaults.
void setDefaultShortcutsIfNeeded(KeyboardShortcuts& shortcuts, KeyValueStore& store);

// Assigns the defaults and sets the flag. A default whose combination the
// user already gave another name is skipped (the flag is still set), so a
// default never takes a key away from a choice the user made.
void applySystemAlignedDefaults(KeyboardShortcuts& shortcuts, KeyValueStore& store);

}  // namespace tessarin::ShortcutRegistration
