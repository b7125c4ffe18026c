#include "core/shell/ShortcutRegistration.h"

#include <string>

#include "core/common/Log.h"

namespace tessarin::ShortcutRegistration {

KeyCombination fullScreenDefault() { return {KeyModifier::shift, "Print"}; }
KeyCombination areaDefault() { return {0, "Print"}; }
KeyCombination formerWindowShortcut() { return {KeyModifier::alt, "Print"}; }

void setDefaultShortcutsIfNeeded(KeyboardShortcuts& shortcuts, KeyValueStore& store) {
    const auto applied = store.object(std::string(defaultsAppliedKey));
    if (applied && applied->is_boolean() && applied->get<bool>()) return;
    applySystemAlignedDefaults(shortcuts, store);
}

void applySystemAlignedDefaults(KeyboardShortcuts& shortcuts, KeyValueStore& store) {
    // Window, scrolling and video get no default; formerWindowShortcut()
    // stays with whatever name holds it, so it is not touched here.
    const std::pair<ShortcutName, KeyCombination> defaults[] = {
        {ShortcutName::captureFullScreen, fullScreenDefault()},
        {ShortcutName::captureArea, areaDefault()},
    };
    for (const auto& [name, combination] : defaults) {
        const auto holder = shortcuts.nameAssigned(combination);
        if (holder && *holder != name) {
            logLine(LogLevel::info, LogCategory::app,
                    "shortcut.default_skipped name=" + std::string(rawValue(name)) + " keys=" + combination.text() +
                        " holder=" + std::string(rawValue(*holder)));
            continue;
        }
        shortcuts.setShortcut(name, combination);
    }
    store.set(std::string(defaultsAppliedKey), true);
}

}  // namespace tessarin::ShortcutRegistration
