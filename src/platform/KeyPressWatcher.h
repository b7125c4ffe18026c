#pragma once
// Presses of one key anywhere on the desktop, watched without taking the
// key or the focus from the window that has it: a self-timer counting down
// over an open menu hears Escape and the menu stays open.
//
// Main thread. Like the key grabber, it hands the event loop a descriptor
// to watch and does no waiting of its own.

#include <functional>

namespace tessarin {

class KeyPressWatcher {
public:
    virtual ~KeyPressWatcher() = default;
    // -1 when there is nothing to watch (the watcher then never reports).
    virtual int eventDescriptor() const = 0;
    // Reads what arrived and calls the listener once per press of the key.
    virtual void processPendingEvents() = 0;
};

}  // namespace tessarin
