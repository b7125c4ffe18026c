// The server-free half of key grabs: masks, lock variants, the Num Lock
// modifier, the keyboard map and which id a key event belongs to.

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/KeyGrabs.h"

namespace tessarin::x11 {
namespace {

constexpr auto pressed = KeyTransition::pressed;
constexpr auto released = KeyTransition::released;
using Report = GrabTable::Report;

TEST(KeyGrabs, ModifiersMapOntoTheUsualXModifiers) {
    const struct { uint8_t modifiers; uint16_t mask; } rows[] = {
        {0, 0},
        {KeyModifier::control, XCB_MOD_MASK_CONTROL},
        {KeyModifier::alt, XCB_MOD_MASK_1},
        {KeyModifier::shift, XCB_MOD_MASK_SHIFT},
        {KeyModifier::super, XCB_MOD_MASK_4},
        {KeyModifier::all, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4},
    };
    for (const auto& [modifiers, mask] : rows) EXPECT_EQ(grabModifierMask(modifiers), mask) << int(modifiers);
}

TEST(KeyGrabs, EveryLockStateIsAVariant) {
    constexpr uint16_t shift = XCB_MOD_MASK_SHIFT, lock = XCB_MOD_MASK_LOCK, num = XCB_MOD_MASK_2;
    const struct { uint16_t modifiers, numLock; std::vector<uint16_t> variants; } rows[] = {
        {shift, num, {shift, shift | lock, shift | num, shift | num | lock}},
        {0, num, {0, lock, num, num | lock}},
        {shift, 0, {shift, shift | lock}},                    // no Num Lock on this keyboard
        {shift | num, num, {shift | num, shift | num | lock}},  // Num Lock on a named modifier
        {shift, lock, {shift, shift | lock}},                 // Num Lock sharing Lock
    };
    for (const auto& [modifiers, numLock, variants] : rows) {
        EXPECT_EQ(withLockVariants(modifiers, numLock), variants) << modifiers << " " << numLock;
    }
}

TEST(KeyGrabs, NumLockIsFoundInTheModifierMap) {
    // Two keycodes per modifier: Shift, Lock, Control, Mod1..Mod5.
    const std::vector<xcb_keycode_t> map{50, 62, 66, 0, 37, 105, 64, 108, 77, 0, 0, 0, 133, 134, 92, 0};
    const struct { std::vector<xcb_keycode_t> numLockKeys; uint16_t mask; } rows[] = {
        {{77}, XCB_MOD_MASK_2},
        {{200, 77}, XCB_MOD_MASK_2},
        {{}, 0},     // no key types Num_Lock
        {{200}, 0},  // it types it, but is no modifier
        {{0}, 0},    // empty slots are no keys
    };
    for (const auto& [keys, mask] : rows) EXPECT_EQ(numLockMaskFrom(map, 2, keys), mask);
    EXPECT_EQ(numLockMaskFrom(std::vector<xcb_keycode_t>{77}, 2, std::vector<xcb_keycode_t>{77}), XCB_MOD_MASK_SHIFT);
}

TEST(KeyGrabs, TextsNameTheCombinationAndItsLocks) {
    EXPECT_EQ(combinationText({KeyModifier::shift, "Print"}), "Shift+Print");
    EXPECT_EQ(combinationText({KeyModifier::all, "t"}), "Ctrl+Alt+Shift+Super+t");
    EXPECT_EQ(combinationText({0, "F5"}), "F5");
    const uint16_t num = XCB_MOD_MASK_2;
    EXPECT_EQ(lockText(XCB_MOD_MASK_SHIFT, num), "");
    EXPECT_EQ(lockText(XCB_MOD_MASK_LOCK, num), " (with Caps Lock)");
    EXPECT_EQ(lockText(num, num), " (with Num Lock)");
    EXPECT_EQ(lockText(num | XCB_MOD_MASK_LOCK, num), " (with Caps Lock and Num Lock)");
    EXPECT_EQ(lockText(num, 0), "");
}

TEST(KeyGrabs, TheKeyboardMapFindsEveryKeyOfAKeysym) {
    // Keycodes 8..11, two keysyms each; 0xff61 (Print) on 9 and, shifted, on 11.
    const KeyboardMap map(8, 2, {0x61, 0x41, 0xff61, 0xff15, 0, 0, 0x31, 0xff61});
    EXPECT_EQ(map.keycodesOf(0xff61), (std::vector<xcb_keycode_t>{9, 11}));
    EXPECT_EQ(map.keycodesOf(0x41), (std::vector<xcb_keycode_t>{8}));
    EXPECT_TRUE(map.keycodesOf(0xffc9).empty());
    EXPECT_TRUE(map.keycodesOf(XCB_NO_SYMBOL).empty());  // not the empty slots
    EXPECT_TRUE(KeyboardMap().keycodesOf(0x61).empty());
}

TEST(KeyGrabs, AReleaseReportsTheIdItsKeyWentDownFor) {
    GrabTable table;
    constexpr uint16_t shift = XCB_MOD_MASK_SHIFT, num = XCB_MOD_MASK_2;
    table.bind(1, {107, shift});
    table.bind(1, {107, shift | num});
    table.bind(2, {107, 0});

    EXPECT_EQ(table.press(107, shift | num), (Report{1, pressed}));
    // Shift came up, the key repeats and is released: still id 1.
    EXPECT_EQ(table.press(107, num), (Report{1, pressed}));
    EXPECT_EQ(table.release(107), (Report{1, released}));
    EXPECT_EQ(table.release(107), std::nullopt);  // a release without its press

    EXPECT_EQ(table.press(107, 0), (Report{2, pressed}));
    EXPECT_EQ(table.release(107), (Report{2, released}));
    EXPECT_EQ(table.press(107, XCB_MOD_MASK_CONTROL), std::nullopt);  // no such variant
    EXPECT_EQ(table.press(38, shift), std::nullopt);                  // another key during the grab
    EXPECT_EQ(table.release(38), std::nullopt);
}

TEST(KeyGrabs, UnbindingForgetsVariantsAndKeysDown) {
    GrabTable table;
    table.bind(1, {107, 0});
    table.bind(1, {218, 0});
    table.bind(2, {127, 0});
    EXPECT_EQ(table.variantsOf(1), (std::vector<GrabVariant>{{107, 0}, {218, 0}}));
    EXPECT_EQ(table.owner({127, 0}), 2);
    ASSERT_TRUE(table.press(107, 0));
    table.unbind(1);
    EXPECT_TRUE(table.variantsOf(1).empty());
    EXPECT_EQ(table.owner({107, 0}), std::nullopt);
    EXPECT_EQ(table.release(107), std::nullopt);
    EXPECT_EQ(table.variantsOf(2), (std::vector<GrabVariant>{{127, 0}}));
}

TEST(KeyGrabs, OnlyAReleaseFollowedByItsOwnPressAtTheSameTimeIsARepeat) {
    const KeyEventSummary release{false, 107, 1000};
    const struct { std::optional<KeyEventSummary> next; bool repeat; } rows[] = {
        {KeyEventSummary{true, 107, 1000}, true},
        {KeyEventSummary{true, 107, 1001}, false},  // pressed again later
        {KeyEventSummary{true, 108, 1000}, false},  // another key
        {KeyEventSummary{false, 107, 1000}, false},
        {std::nullopt, false},
    };
    for (const auto& [next, repeat] : rows) EXPECT_EQ(isAutoRepeatRelease(release, next), repeat);
    EXPECT_FALSE(isAutoRepeatRelease({true, 107, 1000}, KeyEventSummary{true, 107, 1000}));
}

}  // namespace
}  // namespace tessarin::x11
