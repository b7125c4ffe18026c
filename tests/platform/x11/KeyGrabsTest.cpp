// The server-free half of key grabs that the server tests cannot reach:
// where Num Lock sits, and telling an auto-repeat's release from a real one.

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/KeyGrabs.h"

namespace tessarin::x11 {
namespace {

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
