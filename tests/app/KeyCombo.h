#pragma once
// Key combinations such as "Print", "Shift+Print" or "Ctrl+Alt+F1" for the
// small X clients of the desktop tests and benchmarks: parsing the text,
// finding the key code on a server, and grabbing the combination on the root
// window the way a global shortcut does (with every Lock/NumLock/ScrollLock
// variant, since those modifiers are part of the X event state).

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <xcb/xcb.h>

namespace tessarin::apptest {

struct FreeDeleter {
    void operator()(void* pointer) const noexcept { std::free(pointer); }
};
template <class T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

struct KeyCombo {
    uint16_t modifiers = 0;  // XCB_MOD_MASK_* of Shift, Control, Mod1 (Alt), Mod4 (Super)
    uint32_t keysym = 0;
    std::string text;  // as given, for messages
};

// "Shift+Print" -> Shift + XK_Print. Modifier names: Shift, Ctrl/Control,
// Alt/Mod1, Super/Mod4/Meta. Keys: Print, Escape, Return, space, Tab,
// F1..F24, a..z, 0..9, Home, End, Insert, Delete, Pause, or a keysym in hex
// (0xff61). Returns an error text when the combination is not understood.
struct ParsedCombo {
    std::optional<KeyCombo> combo;
    std::string error;
};
ParsedCombo parseKeyCombo(std::string_view text);

// The first key code the server maps to `keysym` (in any column), or 0.
xcb_keycode_t keycodeFor(xcb_connection_t* connection, uint32_t keysym);

// The modifier masks that only toggle (Lock, and the ModN holding Num_Lock
// or Scroll_Lock), combined every way: the states a grab must cover.
std::vector<uint16_t> lockVariants(xcb_connection_t* connection);

enum class GrabResult { grabbed, heldByAnotherClient, failed };

// Grabs `keycode` with `combo.modifiers` plus each lock variant on the root
// window. All or nothing: a variant that fails releases the others.
GrabResult grabCombo(xcb_connection_t* connection, xcb_window_t root, xcb_keycode_t keycode,
                     const KeyCombo& combo);

}  // namespace tessarin::apptest
