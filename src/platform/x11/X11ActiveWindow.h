#pragma once
// The active window on X11. With a window manager that announces
// _NET_ACTIVE_WINDOW (in _NET_SUPPORTED, with a live
// _NET_SUPPORTING_WM_CHECK window), the root's _NET_ACTIVE_WINDOW names it
// and activating is a request to the window manager (a client message from
// a pager-like source, with a server time stamp, so focus-stealing
// prevention lets it through). Without one, the input focus is the active
// window and activating sets it, and raises the window, directly.
//
// The tracker has a connection of its own: the time stamp comes from a
// property change on a small window of its own, whose notice it waits for
// (bounded, TESSARIN_X_TIMEOUT_MS).

#include <memory>
#include <optional>
#include <string>

#include "core/common/Expected.h"
#include "platform/ActiveWindowTracker.h"
#include "platform/CompositorProbe.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

class X11ActiveWindowTracker final : public ActiveWindowTracker {
public:
    static Expected<std::unique_ptr<X11ActiveWindowTracker>, std::string> open(const std::string& displayName);
    ~X11ActiveWindowTracker() override;
    X11ActiveWindowTracker(const X11ActiveWindowTracker&) = delete;
    X11ActiveWindowTracker& operator=(const X11ActiveWindowTracker&) = delete;

    std::optional<uint32_t> activeWindow() override;
    ActivationResult activate(uint32_t window) override;
    bool isActive(uint32_t window) override;

    // Whether a window manager that activates windows on request runs now.
    bool windowManagerActivates();
    // The server's current time; CurrentTime (0) when it did not say in time.
    xcb_timestamp_t serverTime();

private:
    explicit X11ActiveWindowTracker(std::unique_ptr<X11Connection> connection);
    ActivationResult askWindowManager(xcb_window_t window);
    ActivationResult focusDirectly(xcb_window_t window);

    std::unique_ptr<X11Connection> connection_;
    xcb_window_t clockWindow_ = XCB_WINDOW_NONE;
    xcb_atom_t netActiveWindow_ = XCB_ATOM_NONE;
    xcb_atom_t netSupported_ = XCB_ATOM_NONE;
    xcb_atom_t netSupportingWmCheck_ = XCB_ATOM_NONE;
    xcb_atom_t clockProperty_ = XCB_ATOM_NONE;
};

// The number of the connection's screen (as in DISPLAY=:0.<n>).
int screenNumberOf(const X11Connection& connection);

// A compositing manager runs when the selection _NET_WM_CM_S<screen> has an
// owner. Reads through a connection it is given (any of the back end's).
class X11CompositorProbe final : public CompositorProbe {
public:
    explicit X11CompositorProbe(const X11Connection& connection);
    bool compositing() override;

private:
    const X11Connection& connection_;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
};

}  // namespace tessarin::x11
