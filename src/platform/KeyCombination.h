#pragma once
// A key combination as a person types it: modifiers plus one key, the key
// named by its X keysym name ("Print", "a", "F5", "space"). The names are
// the desktop's own, so the same text works for any back end that can map
// keysym names (X11 through the keyboard map, a portal by its own trigger
// syntax) and stays readable in the preferences file.
//
// Text form, used in storage and in menus: the modifiers in a fixed order
// (Ctrl, Alt, Shift, Super), then the key, joined by '+':
// "Shift+Print", "Ctrl+Alt+T". Parsing accepts the modifiers in any order
// and case, "Control" and "Meta" as synonyms of Ctrl and Super; a single
// letter key is kept lower case (the keysym), shown upper case.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tessarin {

namespace KeyModifier {
inline constexpr uint8_t control = 1;
inline constexpr uint8_t alt = 2;
inline constexpr uint8_t shift = 4;
inline constexpr uint8_t super = 8;
inline constexpr uint8_t all = control | alt | shift | super;
}  // namespace KeyModifier

struct KeyCombination {
    uint8_t modifiers = 0;  // KeyModifier bits
    std::string key;        // keysym name, never empty in a parsed value

    // Nothing for text with no key, an unknown modifier, a repeated
    // modifier, a key with characters outside [A-Za-z0-9_] or an empty part.
    static std::optional<KeyCombination> parse(std::string_view text);

    // The canonical text form ("Ctrl+Alt+t" stored as "Ctrl+Alt+t").
    std::string text() const;
    // What a menu row shows: a single letter upper case ("Ctrl+Alt+T").
    std::string displayText() const;

    friend bool operator==(const KeyCombination&, const KeyCombination&) = default;
};

namespace detail {

// The modifiers in their text order, each with the names parsing accepts.
inline constexpr std::pair<uint8_t, std::string_view> keyModifierNames[] = {
    {KeyModifier::control, "Ctrl"},  {KeyModifier::control, "Control"}, {KeyModifier::alt, "Alt"},
    {KeyModifier::shift, "Shift"},   {KeyModifier::super, "Super"},     {KeyModifier::super, "Meta"},
};

inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool isAsciiLetter(char c) { return asciiLower(c) >= 'a' && asciiLower(c) <= 'z'; }

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// The modifier bit a part names, or 0.
inline uint8_t keyModifierNamed(std::string_view part) {
    for (const auto& [bit, name] : keyModifierNames) {
        if (equalsIgnoringCase(part, name)) return bit;
    }
    return 0;
}

inline bool isKeyName(std::string_view part) {
    if (part.empty()) return false;
    for (const char c : part) {
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
    }
    // "Ctrl+Shift" names modifiers only: there is no key to press.
    return keyModifierNamed(part) == 0;
}

inline std::string joinedKeyCombination(uint8_t modifiers, const std::string& key) {
    std::string text;
    uint8_t written = 0;
    for (const auto& [bit, name] : keyModifierNames) {
        if (!(modifiers & bit) || (written & bit)) continue;
        written |= bit;
        text.append(name).push_back('+');
    }
    return text + key;
}

}  // namespace detail

inline std::optional<KeyCombination> KeyCombination::parse(std::string_view text) {
    KeyCombination combination;
    for (;;) {
        const size_t plus = text.find('+');
        const std::string_view part = text.substr(0, plus);
        if (plus == std::string_view::npos) {
            if (!detail::isKeyName(part)) return std::nullopt;
            combination.key = part;
            if (part.size() == 1) combination.key[0] = detail::asciiLower(part[0]);
            return combination;
        }
        const uint8_t bit = detail::keyModifierNamed(part);
        if (bit == 0 || (combination.modifiers & bit)) return std::nullopt;
        combination.modifiers |= bit;
        text.remove_prefix(plus + 1);
    }
}

inline std::string KeyCombination::text() const { return detail::joinedKeyCombination(modifiers, key); }

inline std::string KeyCombination::displayText() const {
    std::string shown = key;
    if (shown.size() == 1) shown[0] = detail::asciiUpper(shown[0]);
    return detail::joinedKeyCombination(modifiers, shown);
}

}  // namespace tessarin
