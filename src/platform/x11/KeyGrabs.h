#pragma once
// The server-free half of global key grabs on X11: which modifier masks a
// combination is grabbed with, which keycodes carry a keysym, which
// modifier Num Lock sits on, and which grabbed key went down for which id.
// The grabber (X11GlobalShortcutGrabber) feeds these from the server.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

#include "platform/GlobalShortcutGrabber.h"
#include "platform/KeyCombination.h"

namespace tessarin::x11 {

// The X modifier mask of KeyModifier bits (Super is Mod4, Alt Mod1, as the
// usual keymaps place them).
uint16_t grabModifierMask(uint8_t keyModifiers);

// `modifiers` with every combination of Caps Lock and Num Lock: a passive
// grab matches only the exact modifier state, and the locks are part of it.
// Without a Num Lock modifier (mask 0) only the Caps Lock pair.
std::vector<uint16_t> withLockVariants(uint16_t modifiers, uint16_t numLockMask);

// The modifier state of a key event as a grab sees it: the eight modifier
// bits, locks included (the rest are pointer buttons and the XKB group).
inline uint16_t modifierBits(uint16_t state) { return state & 0xffu; }

// The mask of the modifier that one of `numLockKeycodes` is mapped to, 0
// when none is. `modifierMap` holds eight rows of `keycodesPerModifier`
// keycodes (Shift, Lock, Control, Mod1..Mod5), as GetModifierMapping gives.
uint16_t numLockMaskFrom(std::span<const xcb_keycode_t> modifierMap, uint8_t keycodesPerModifier,
                         std::span<const xcb_keycode_t> numLockKeycodes);

// "Shift+Print", "Ctrl+Alt+t": the modifiers in a fixed order, then the key.
std::string combinationText(const KeyCombination& combination);
// " (with Caps Lock)", " (with Num Lock)", " (with Caps Lock and Num Lock)"
// or nothing: names the lock state of one grab variant in messages.
std::string lockText(uint16_t modifiers, uint16_t numLockMask);

// The core keyboard map: `keysymsPerKeycode` keysyms for every keycode from
// `firstKeycode` on, as GetKeyboardMapping gives them.
class KeyboardMap {
public:
    KeyboardMap() = default;
    KeyboardMap(xcb_keycode_t firstKeycode, uint8_t keysymsPerKeycode, std::vector<xcb_keysym_t> keysyms)
        : firstKeycode_(firstKeycode), keysymsPerKeycode_(keysymsPerKeycode), keysyms_(std::move(keysyms)) {}

    // Every keycode that types `keysym` in any of its columns (any group,
    // with or without Shift), in keycode order.
    std::vector<xcb_keycode_t> keycodesOf(xcb_keysym_t keysym) const;
    // What the key types with no modifier (its first column), or
    // XCB_NO_SYMBOL for a keycode outside the map.
    xcb_keysym_t baseKeysym(xcb_keycode_t keycode) const;

private:
    xcb_keycode_t firstKeycode_ = 0;
    uint8_t keysymsPerKeycode_ = 0;
    std::vector<xcb_keysym_t> keysyms_;
};

// One passive grab: a keycode with an exact modifier state.
struct GrabVariant {
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
    friend auto operator<=>(const GrabVariant&, const GrabVariant&) = default;
};

// What a key event means for the ids: which id owns each granted variant,
// and which id each grabbed key went down for, so that its release reports
// that id even when the modifiers came up first.
class GrabTable {
public:
    struct Report {
        int id = 0;
        KeyTransition transition = KeyTransition::pressed;
        friend bool operator==(const Report&, const Report&) = default;
    };

    void bind(int id, GrabVariant variant) { owners_[variant] = id; }
    // Forgets the id's variants and its keys that are down.
    void unbind(int id);
    std::optional<int> owner(GrabVariant variant) const;
    std::vector<GrabVariant> variantsOf(int id) const;

    // `modifiers` as modifierBits gives them: a passive grab fires only on
    // its exact state, so a press that matches no granted variant came
    // through the keyboard grab of another key that is down. A key already
    // down for an id repeats that id, whatever the modifiers are now.
    std::optional<Report> press(xcb_keycode_t keycode, uint16_t modifiers);
    std::optional<Report> release(xcb_keycode_t keycode);
    bool isDown(xcb_keycode_t keycode) const { return keysDown_.contains(keycode); }

private:
    std::map<GrabVariant, int> owners_;      // granted variant -> id
    std::map<xcb_keycode_t, int> keysDown_;  // keycode -> the id it went down for
};

// The keysym an X keysym name stands for ("Print", "a"; a name in the wrong
// case is accepted when it is unambiguous), XKB_KEY_NoSymbol for none.
xcb_keysym_t keysymFromName(const std::string& name);

// The request for the whole core keyboard map, and the map its reply gives.
xcb_get_keyboard_mapping_cookie_t requestKeyboardMap(xcb_connection_t* c);
KeyboardMap keyboardMapFrom(xcb_connection_t* c, const xcb_get_keyboard_mapping_reply_t& reply);
// Both, with the bounded wait for the reply; nothing when none came.
std::optional<KeyboardMap> readKeyboardMap(xcb_connection_t* c);

// A key event as the auto-repeat filter sees it.
struct KeyEventSummary {
    bool press = false;
    xcb_keycode_t keycode = 0;
    xcb_timestamp_t time = 0;
};
// Without detectable auto-repeat the server repeats a held key as a
// release and a press with the same time stamp: the release is dropped.
// (When the press has not arrived yet, the grabber asks the server whether
// the key is still down.)
bool isAutoRepeatRelease(const KeyEventSummary& event, const std::optional<KeyEventSummary>& next);

}  // namespace tessarin::x11
