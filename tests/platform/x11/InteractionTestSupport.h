#pragma once
// What the interactive capture's X tests share: atoms, and an event loop
// stand-in for the keyboard grab's polling.

#include <chrono>
#include <string>
#include <thread>

#include <xcb/xcb.h>

#include "platform/KeyboardGrabber.h"
#include "platform/x11/XcbEvents.h"

namespace tessarin::x11::testing {

inline xcb_atom_t atomNamed(xcb_connection_t* c, const std::string& name) { return internAtom(c, name); }

// Polls as an event loop would, at the times the grabber asks for, until
// it stops trying.
inline KeyboardGrabStatus pollUntilSettled(KeyboardGrabber& grabber, KeyboardGrabStatus status) {
    while (status.state == KeyboardGrabState::trying) {
        std::this_thread::sleep_for(status.retryIn);
        status = grabber.poll();
    }
    return status;
}

}  // namespace tessarin::x11::testing
