// hold-key: grabs a key combination on the root window, as another
// program's global shortcut would, and keeps it until killed.
//
//   hold-key [--report] COMBO        e.g. hold-key Print, hold-key Shift+Print
//
// Prints "holding" on standard output once the grab (with every
// Lock/NumLock variant) is in place. With --report it writes
// "key.press key=COMBO" and "key.release key=COMBO" on standard error for
// each press, which makes it a stand-in for a program that reacts to a
// global shortcut. Exit status: 3 when another client already holds the
// combination, 2 for a bad argument, 1 for other failures.

#include <cstdio>
#include <cstring>
#include <string>

#include <xcb/xcb.h>

#include "app/KeyCombo.h"

using namespace tessarin::apptest;

namespace {

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "hold-key: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    bool report = false;
    const char* comboText = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report") == 0) {
            report = true;
        } else if (comboText == nullptr && argv[i][0] != '-') {
            comboText = argv[i];
        } else {
            return fail(2, "usage: hold-key [--report] COMBO (e.g. Print, Shift+Print)");
        }
    }
    if (comboText == nullptr) return fail(2, "usage: hold-key [--report] COMBO (e.g. Print, Shift+Print)");
    const ParsedCombo parsed = parseKeyCombo(comboText);
    if (!parsed.combo) return fail(2, parsed.error);
    const KeyCombo& combo = *parsed.combo;

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return fail(1, "cannot open the X display (is DISPLAY set?)");
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_keycode_t keycode = keycodeFor(connection, combo.keysym);
    if (keycode == 0) {
        xcb_disconnect(connection);
        return fail(1, "the keyboard map has no key for '" + combo.text + "'");
    }
    switch (grabCombo(connection, root, keycode, combo)) {
        case GrabResult::grabbed:
            break;
        case GrabResult::heldByAnotherClient:
            xcb_disconnect(connection);
            return fail(3, combo.text + " is held by another client");
        case GrabResult::failed:
            xcb_disconnect(connection);
            return fail(1, "the server refused the grab of " + combo.text);
    }
    std::printf("holding\n");
    std::fflush(stdout);

    while (XcbPtr<xcb_generic_event_t> event{xcb_wait_for_event(connection)}) {
        const uint8_t type = event->response_type & 0x7f;
        if (!report || (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)) continue;
        std::fprintf(stderr, "key.%s key=%s\n", type == XCB_KEY_PRESS ? "press" : "release", combo.text.c_str());
        std::fflush(stderr);
    }
    xcb_disconnect(connection);
    return fail(1, "the X connection closed");
}
