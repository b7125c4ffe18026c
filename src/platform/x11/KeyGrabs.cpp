#include "platform/x11/KeyGrabs.h"

#include <xkbcommon/xkbcommon.h>

#include "platform/x11/XcbHandles.h"

#include <algorithm>

namespace tessarin::x11 {

uint16_t grabModifierMask(uint8_t keyModifiers) {
    uint16_t mask = 0;
    if (keyModifiers & KeyModifier::control) mask |= XCB_MOD_MASK_CONTROL;
    if (keyModifiers & KeyModifier::alt) mask |= XCB_MOD_MASK_1;
    if (keyModifiers & KeyModifier::shift) mask |= XCB_MOD_MASK_SHIFT;
    if (keyModifiers & KeyModifier::super) mask |= XCB_MOD_MASK_4;
    return mask;
}

std::vector<uint16_t> withLockVariants(uint16_t modifiers, uint16_t numLockMask) {
    std::vector<uint16_t> variants{modifiers, static_cast<uint16_t>(modifiers | XCB_MOD_MASK_LOCK)};
    // Num Lock on Lock itself, or on a modifier the combination names, adds
    // nothing new.
    if (numLockMask != 0 && (numLockMask & (modifiers | XCB_MOD_MASK_LOCK)) == 0) {
        variants.push_back(modifiers | numLockMask);
        variants.push_back(modifiers | numLockMask | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

uint16_t numLockMaskFrom(std::span<const xcb_keycode_t> modifierMap, uint8_t keycodesPerModifier,
                         std::span<const xcb_keycode_t> numLockKeycodes) {
    for (size_t modifier = 0; modifier < 8; ++modifier) {
        for (size_t column = 0; column < keycodesPerModifier; ++column) {
            const size_t index = modifier * keycodesPerModifier + column;
            if (index >= modifierMap.size() || modifierMap[index] == 0) continue;
            if (std::ranges::find(numLockKeycodes, modifierMap[index]) != numLockKeycodes.end()) {
                return static_cast<uint16_t>(1u << modifier);
            }
        }
    }
    return 0;
}

std::string combinationText(const KeyCombination& combination) {
    std::string text;
    const std::pair<uint8_t, const char*> names[] = {
        {KeyModifier::control, "Ctrl"}, {KeyModifier::alt, "Alt"}, {KeyModifier::shift, "Shift"},
        {KeyModifier::super, "Super"}};
    for (const auto& [bit, name] : names) {
        if (combination.modifiers & bit) text.append(name).append("+");
    }
    return text + combination.key;
}

std::string lockText(uint16_t modifiers, uint16_t numLockMask) {
    const bool capsLock = (modifiers & XCB_MOD_MASK_LOCK) != 0;
    const bool numLock = numLockMask != 0 && (modifiers & numLockMask) != 0;
    if (capsLock && numLock) return " (with Caps Lock and Num Lock)";
    if (capsLock) return " (with Caps Lock)";
    if (numLock) return " (with Num Lock)";
    return "";
}

std::vector<xcb_keycode_t> KeyboardMap::keycodesOf(xcb_keysym_t keysym) const {
    std::vector<xcb_keycode_t> keycodes;
    if (keysymsPerKeycode_ == 0 || keysym == XCB_NO_SYMBOL) return keycodes;
    const size_t keycodeCount = keysyms_.size() / keysymsPerKeycode_;
    for (size_t i = 0; i < keycodeCount && firstKeycode_ + i <= 255; ++i) {
        const auto row = std::span(keysyms_).subspan(i * keysymsPerKeycode_, keysymsPerKeycode_);
        if (std::ranges::find(row, keysym) != row.end()) {
            keycodes.push_back(static_cast<xcb_keycode_t>(firstKeycode_ + i));
        }
    }
    return keycodes;
}

xcb_keysym_t KeyboardMap::baseKeysym(xcb_keycode_t keycode) const {
    if (keysymsPerKeycode_ == 0 || keycode < firstKeycode_) return XCB_NO_SYMBOL;
    const size_t index = size_t(keycode - firstKeycode_) * keysymsPerKeycode_;
    return index < keysyms_.size() ? keysyms_[index] : XCB_NO_SYMBOL;
}

void GrabTable::unbind(int id) {
    std::erase_if(owners_, [id](const auto& entry) { return entry.second == id; });
    std::erase_if(keysDown_, [id](const auto& entry) { return entry.second == id; });
}

std::optional<int> GrabTable::owner(GrabVariant variant) const {
    const auto found = owners_.find(variant);
    if (found == owners_.end()) return std::nullopt;
    return found->second;
}

std::vector<GrabVariant> GrabTable::variantsOf(int id) const {
    std::vector<GrabVariant> variants;
    for (const auto& [variant, owner] : owners_) {
        if (owner == id) variants.push_back(variant);
    }
    return variants;
}

std::optional<GrabTable::Report> GrabTable::press(xcb_keycode_t keycode, uint16_t modifiers) {
    if (const auto down = keysDown_.find(keycode); down != keysDown_.end()) {
        return Report{down->second, KeyTransition::pressed};
    }
    const auto id = owner({keycode, modifiers});
    if (!id) return std::nullopt;
    keysDown_[keycode] = *id;
    return Report{*id, KeyTransition::pressed};
}

std::optional<GrabTable::Report> GrabTable::release(xcb_keycode_t keycode) {
    const auto down = keysDown_.find(keycode);
    if (down == keysDown_.end()) return std::nullopt;
    const int id = down->second;
    keysDown_.erase(down);
    return Report{id, KeyTransition::released};
}

bool isAutoRepeatRelease(const KeyEventSummary& event, const std::optional<KeyEventSummary>& next) {
    return !event.press && next && next->press && next->keycode == event.keycode && next->time == event.time;
}

xcb_keysym_t keysymFromName(const std::string& name) {
    if (name.empty()) return XKB_KEY_NoSymbol;
    const xkb_keysym_t exact = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
    if (exact != XKB_KEY_NoSymbol) return exact;
    return xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_CASE_INSENSITIVE);
}

xcb_get_keyboard_mapping_cookie_t requestKeyboardMap(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    return xcb_get_keyboard_mapping(c, setup->min_keycode,
                                    static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1));
}

KeyboardMap keyboardMapFrom(xcb_connection_t* c, const xcb_get_keyboard_mapping_reply_t& reply) {
    auto* mapping = const_cast<xcb_get_keyboard_mapping_reply_t*>(&reply);
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    return KeyboardMap(xcb_get_setup(c)->min_keycode, reply.keysyms_per_keycode,
                       {keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(mapping)});
}

std::optional<KeyboardMap> readKeyboardMap(xcb_connection_t* c) {
    const auto reply = waitReply(xcb_get_keyboard_mapping_reply, c, requestKeyboardMap(c));
    if (!reply) return std::nullopt;
    return keyboardMapFrom(c, *reply);
}

}  // namespace tessarin::x11
