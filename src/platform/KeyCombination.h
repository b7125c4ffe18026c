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

}  // namespace tessarin
