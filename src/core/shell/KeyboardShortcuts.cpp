#include "core/shell/KeyboardShortcuts.h"

namespace tessarin {

KeyboardShortcuts::KeyboardShortcuts(KeyValueStore& store) : store_(store) {}

std::string KeyboardShortcuts::storageKey(ShortcutName name) {
    return "KeyboardShortcuts_" + std::string(rawValue(name));
}

std::optional<KeyCombination> KeyboardShortcuts::shortcut(ShortcutName name) const {
    const auto stored = store_.object(storageKey(name));
    if (!stored || !stored->is_string()) return std::nullopt;
    return KeyCombination::parse(stored->get<std::string>());
}

void KeyboardShortcuts::setShortcut(ShortcutName name, std::optional<KeyCombination> combination) {
    if (shortcut(name) == combination) return;
    if (combination) {
        store_.set(storageKey(name), combination->text());
    } else {
        store_.remove(storageKey(name));
    }
    observers_.notify([name](const Observer& observer) { observer(name); });
}

std::optional<ShortcutName> KeyboardShortcuts::nameAssigned(const KeyCombination& combination) const {
    for (const ShortcutName name : allShortcutNames) {
        if (shortcut(name) == combination) return name;
    }
    return std::nullopt;
}

Subscription KeyboardShortcuts::subscribe(Observer observer) { return observers_.add(std::move(observer)); }

}  // namespace tessarin
