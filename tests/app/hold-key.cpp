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

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/KeyCombination.h"
#include "platform/x11/X11GlobalShortcutGrabber.h"

using namespace tessarin;

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
    const auto combo = KeyCombination::parse(comboText);
    if (!combo) return fail(2, std::string("not a key combination: ") + comboText);

    // The program's own grabber, on a connection of this process.
    const char* display = std::getenv("DISPLAY");
    auto opened = x11::X11GlobalShortcutGrabber::open(display ? display : "");
    if (!opened) return fail(1, opened.error());
    GlobalShortcutGrabber& grabber = **opened;
    grabber.setKeyListener([&](int, KeyTransition transition) {
        if (!report) return;
        std::fprintf(stderr, "key.%s key=%s\n", transition == KeyTransition::pressed ? "press" : "release", comboText);
        std::fflush(stderr);
    });
    const GrabResult result = grabber.grab(1, *combo);
    if (result.outcome == GrabOutcome::refused) return fail(3, std::string(comboText) + " is held by another client");
    if (!result.ok()) return fail(1, result.detail);
    std::printf("holding\n");
    std::fflush(stdout);

    while (true) {
        pollfd readable{grabber.eventDescriptor(), POLLIN, 0};
        if (readable.fd < 0 || ::poll(&readable, 1, -1) < 0) break;
        grabber.processPendingEvents();
    }
    return fail(1, "the X connection closed");
}
