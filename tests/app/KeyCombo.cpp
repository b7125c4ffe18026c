#include "app/KeyCombo.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace tessarin::apptest {
namespace {

constexpr uint32_t kNumLock = 0xff7f;
constexpr uint32_t kScrollLock = 0xff14;
constexpr uint8_t kBadAccess = 10;

std::optional<uint16_t> modifierMask(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, uint16_t>, 8> table{{
        {"Shift", XCB_MOD_MASK_SHIFT},
        {"Ctrl", XCB_MOD_MASK_CONTROL},
        {"Control", XCB_MOD_MASK_CONTROL},
        {"Alt", XCB_MOD_MASK_1},
        {"Mod1", XCB_MOD_MASK_1},
        {"Super", XCB_MOD_MASK_4},
        {"Mod4", XCB_MOD_MASK_4},
        {"Meta", XCB_MOD_MASK_4},
    }};
    for (const auto& [known, mask] : table) {
        if (known == name) return mask;
    }
    return std::nullopt;
}

std::optional<uint32_t> keysymNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, uint32_t>, 12> table{{
        {"Print", 0xff61},
        {"Escape", 0xff1b},
        {"Return", 0xff0d},
        {"space", 0x20},
        {"Tab", 0xff09},
        {"Home", 0xff50},
        {"End", 0xff57},
        {"Insert", 0xff63},
        {"Delete", 0xffff},
        {"Pause", 0xff13},
        {"Num_Lock", kNumLock},
        {"Scroll_Lock", kScrollLock},
    }};
    for (const auto& [known, keysym] : table) {
        if (known == name) return keysym;
    }
    if (name.size() == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= '0' && name[0] <= '9'))) {
        return static_cast<uint32_t>(name[0]);  // Latin-1 keysyms are the characters
    }
    auto number = [](std::string_view digits, int base) -> std::optional<uint32_t> {
        uint32_t value = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
        return value;
    };
    if (name.size() >= 2 && name[0] == 'F') {
        auto index = number(name.substr(1), 10);
        if (index && *index >= 1 && *index <= 24) return 0xffbe + *index - 1;
    }
    if (name.starts_with("0x")) return number(name.substr(2), 16);
    return std::nullopt;
}

struct KeyboardMapping {
    XcbPtr<xcb_get_keyboard_mapping_reply_t> reply;
    xcb_keycode_t first = 0;
};

KeyboardMapping keyboardMapping(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const auto count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto cookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, count);
    return {XcbPtr<xcb_get_keyboard_mapping_reply_t>(xcb_get_keyboard_mapping_reply(connection, cookie, nullptr)),
            setup->min_keycode};
}

bool keycodeHasKeysym(const KeyboardMapping& mapping, xcb_keycode_t keycode, uint32_t keysym) {
    if (!mapping.reply || keycode < mapping.first) return false;
    const int perCode = mapping.reply->keysyms_per_keycode;
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.reply.get());
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.reply.get());
    const int start = (keycode - mapping.first) * perCode;
    for (int column = 0; column < perCode && start + column < length; ++column) {
        if (keysyms[start + column] == keysym) return true;
    }
    return false;
}

}  // namespace

ParsedCombo parseKeyCombo(std::string_view text) {
    KeyCombo combo;
    combo.text = std::string(text);
    std::string_view rest = text;
    while (true) {
        const auto plus = rest.find('+');
        if (plus == std::string_view::npos) break;
        const auto name = rest.substr(0, plus);
        const auto mask = modifierMask(name);
        if (!mask) return {std::nullopt, "unknown modifier '" + std::string(name) + "' in '" + combo.text + "'"};
        combo.modifiers |= *mask;
        rest = rest.substr(plus + 1);
    }
    const auto keysym = keysymNamed(rest);
    if (!keysym) return {std::nullopt, "unknown key '" + std::string(rest) + "' in '" + combo.text + "'"};
    combo.keysym = *keysym;
    return {combo, {}};
}

xcb_keycode_t keycodeFor(xcb_connection_t* connection, uint32_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(connection);
    if (!mapping.reply) return 0;
    const int codes = xcb_get_keyboard_mapping_keysyms_length(mapping.reply.get()) /
                      std::max<int>(1, mapping.reply->keysyms_per_keycode);
    for (int offset = 0; offset < codes; ++offset) {
        const auto keycode = static_cast<xcb_keycode_t>(mapping.first + offset);
        if (keycodeHasKeysym(mapping, keycode, keysym)) return keycode;
    }
    return 0;
}

std::vector<uint16_t> lockVariants(xcb_connection_t* connection) {
    std::vector<uint16_t> toggles{XCB_MOD_MASK_LOCK};
    const KeyboardMapping mapping = keyboardMapping(connection);
    XcbPtr<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (modifiers) {
        const int perModifier = modifiers->keycodes_per_modifier;
        const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int slot = 0; slot < perModifier; ++slot) {
                const xcb_keycode_t keycode = keycodes[modifier * perModifier + slot];
                if (keycode == 0) continue;
                if (keycodeHasKeysym(mapping, keycode, kNumLock) || keycodeHasKeysym(mapping, keycode, kScrollLock)) {
                    toggles.push_back(static_cast<uint16_t>(1u << modifier));
                    break;
                }
            }
        }
    }
    std::vector<uint16_t> variants;
    for (uint32_t subset = 0; subset < (1u << toggles.size()); ++subset) {
        uint16_t mask = 0;
        for (size_t bit = 0; bit < toggles.size(); ++bit) {
            if (subset & (1u << bit)) mask |= toggles[bit];
        }
        variants.push_back(mask);
    }
    return variants;
}

GrabResult grabCombo(xcb_connection_t* connection, xcb_window_t root, xcb_keycode_t keycode, const KeyCombo& combo) {
    const std::vector<uint16_t> variants = lockVariants(connection);
    std::vector<xcb_void_cookie_t> cookies;
    for (uint16_t variant : variants) {
        cookies.push_back(xcb_grab_key_checked(connection, 1, root, combo.modifiers | variant, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    GrabResult result = GrabResult::grabbed;
    for (const auto& cookie : cookies) {
        XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
        if (!error) continue;
        if (error->error_code == kBadAccess) {
            result = GrabResult::heldByAnotherClient;
        } else if (result == GrabResult::grabbed) {
            result = GrabResult::failed;
        }
    }
    if (result != GrabResult::grabbed) {
        for (uint16_t variant : variants) xcb_ungrab_key(connection, keycode, root, combo.modifiers | variant);
        xcb_flush(connection);
    }
    return result;
}

}  // namespace tessarin::apptest
