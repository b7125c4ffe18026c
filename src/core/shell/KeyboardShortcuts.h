#pragma once
// Which key combination each shortcut name has, kept in the preferences
// (one key per name, "KeyboardShortcuts_<name>", the combination's text
// form). A stored value that does not parse reads as unassigned and is
// left alone until the name is assigned again.
//
// Main thread. Observers hear the name whose assignment changed, so the
// grabs and the menu follow a change at once.

#include <functional>
#include <optional>
#include <string>

#include "core/common/ObserverList.h"
#include "core/preferences/KeyValueStore.h"
#include "core/shell/ShortcutName.h"
#include "platform/KeyCombination.h"

namespace tessarin {

class KeyboardShortcuts {
public:
    using Observer = std::function<void(ShortcutName)>;

    explicit KeyboardShortcuts(KeyValueStore& store);
    KeyboardShortcuts(const KeyboardShortcuts&) = delete;
    KeyboardShortcuts& operator=(const KeyboardShortcuts&) = delete;

    static std::string storageKey(ShortcutName name);

    std::optional<KeyCombination> shortcut(ShortcutName name) const;
    // Nothing clears the name. Observers are told only of a real change.
    void setShortcut(ShortcutName name, std::optional<KeyCombination> combination);

    // The name that has `combination`, if any.
    std::optional<ShortcutName> nameAssigned(const KeyCombination& combination) const;

    [[nodiscard]] Subscription subscribe(Observer observer);

private:
    KeyValueStore& store_;
    ObserverList<Observer> observers_;
};

}  // namespace tessarin
