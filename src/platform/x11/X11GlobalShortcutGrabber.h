#pragma once
// Global shortcuts on X11: passive key grabs on the root window, on a
// connection of their own whose events the application's event loop reads.
//
// A combination is grabbed on every keycode that types its keysym, in every
// state of Caps Lock and Num Lock (a passive grab matches one exact modifier
// state). XKB's detectable auto-repeat makes a held key send presses and one
// release; a server without XKB repeats as release+press pairs of one time
// stamp, whose releases are dropped (a release whose press has not come
// yet is dropped when the server says the key is still down). When the keyboard mapping changes
// every id is grabbed again and its new result reported.
//
// eventDescriptor() is an epoll descriptor over the X socket and a wake-up
// counter: the grabber's own round trips (in grab(), after a mapping
// change) read whatever events had arrived into libxcb's queue, where the
// socket no longer shows them, and the counter then keeps the descriptor
// readable until processPendingEvents() has handled them. When the
// connection breaks, the socket leaves the epoll set (a closed socket is
// readable for ever) and every id hears a failed result through the regrab
// listener, once.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/PosixFiles.h"
#include "platform/GlobalShortcutGrabber.h"
#include "platform/x11/KeyGrabs.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {

struct X11ShortcutOptions {
    // Off only to exercise the fallback for servers without XKB.
    bool detectableAutoRepeat = true;
};

class X11GlobalShortcutGrabber final : public GlobalShortcutGrabber {
public:
    // Connects to `displayName` (as in DISPLAY). The error is a sentence for
    // the null grabber's reason.
    static Expected<std::unique_ptr<X11GlobalShortcutGrabber>, std::string> open(const std::string& displayName,
                                                                              X11ShortcutOptions options = {});

    // Closing the connection releases every grab.
    ~X11GlobalShortcutGrabber() override = default;
    X11GlobalShortcutGrabber(const X11GlobalShortcutGrabber&) = delete;
    X11GlobalShortcutGrabber& operator=(const X11GlobalShortcutGrabber&) = delete;

    void setKeyListener(KeyListener listener) override { keyListener_ = std::move(listener); }
    void setRegrabListener(RegrabListener listener) override { regrabListener_ = std::move(listener); }
    GrabResult grab(int id, const KeyCombination& combination) override;
    void release(int id) override;
    std::string unshiftedKeyName(uint32_t keycode) const override;
    int eventDescriptor() const override { return epoll_.get(); }
    void processPendingEvents() override;

    // Whether the server repeats a held key as presses alone.
    bool detectsAutoRepeat() const { return detectableAutoRepeat_; }

private:
    X11GlobalShortcutGrabber(std::unique_ptr<X11Connection> connection, UniqueFd epoll, UniqueFd wakeUp);
    void enableXkb(const X11ShortcutOptions& options);
    // Reads the keyboard and modifier maps; false when the server did not answer.
    bool readKeyboard();
    // For each assignment in order, the keycodes that type its key now.
    std::vector<std::vector<xcb_keycode_t>> keycodesOfAssignments() const;
    GrabResult grabVariants(int id, const KeyCombination& combination);
    void ungrab(int id);
    void regrabAll();
    void connectionLost();

    // Moves what libxcb queued during a round trip to deferred_ and keeps the
    // descriptor readable for it.
    void keepQueuedEvents();
    std::vector<XcbPtr<xcb_generic_event_t>> takeEvents();
    // Whether the server holds `keycode` down (false when it cannot tell).
    bool isKeyDown(xcb_keycode_t keycode);
    // True when the events asked for a new keyboard map.
    bool dispatch(const std::vector<XcbPtr<xcb_generic_event_t>>& events);

    std::unique_ptr<X11Connection> connection_;
    UniqueFd epoll_;
    UniqueFd wakeUp_;
    bool socketWatched_ = true;
    uint8_t xkbEventBase_ = 0;  // 0 without XKB
    bool detectableAutoRepeat_ = false;
    KeyboardMap keyboard_;
    uint16_t numLockMask_ = 0;
    std::map<int, KeyCombination> assignments_;  // every id grab() was asked for, granted or not
    GrabTable table_;                            // the variants granted, and the keys down
    std::vector<XcbPtr<xcb_generic_event_t>> deferred_;
    KeyListener keyListener_;
    RegrabListener regrabListener_;
};

}  // namespace tessarin::x11
