#pragma once
// The keyboard grab for an overlay window on X11. A grab sends the keys to
// the client that made it, so it is made on the connection of the toolkit
// that owns the window (borrowed here, never closed). That connection
// belongs to the toolkit's event loop, so nothing here waits on it: each
// attempt's answer is picked up by poll() once it has arrived, and an
// attempt the server leaves unanswered for TESSARIN_X_TIMEOUT_MS fails the
// grab without touching the connection.

#include <chrono>
#include <functional>
#include <optional>

#include <xcb/xcb.h>

#include "platform/KeyboardGrabber.h"

namespace tessarin::x11 {

struct KeyboardGrabTiming {
    std::chrono::milliseconds budget{500};   // how long a refused grab is tried again
    std::chrono::milliseconds interval{20};  // between attempts
    std::function<GrabRetryPlan::Clock::time_point()> now = GrabRetryPlan::Clock::now;
};

class X11KeyboardGrabber final : public KeyboardGrabber {
public:
    explicit X11KeyboardGrabber(xcb_connection_t* borrowedConnection, KeyboardGrabTiming timing = {});
    ~X11KeyboardGrabber() override;
    X11KeyboardGrabber(const X11KeyboardGrabber&) = delete;
    X11KeyboardGrabber& operator=(const X11KeyboardGrabber&) = delete;

    KeyboardGrabStatus start(uint32_t window) override;
    KeyboardGrabStatus poll() override;
    void release() override;

    // How many attempts of the current grab the server has answered.
    int answeredAttempts() const { return plan_ ? plan_->attempts() : 0; }

private:
    void sendAttempt();
    KeyboardGrabStatus trying(GrabRetryPlan::Clock::time_point now) const;
    KeyboardGrabStatus finish(KeyboardGrabState state, std::string detail);

    xcb_connection_t* connection_;
    KeyboardGrabTiming timing_;
    xcb_window_t window_ = XCB_WINDOW_NONE;
    std::optional<GrabRetryPlan> plan_;
    std::optional<unsigned int> pending_;  // the sequence of the attempt in flight
    GrabRetryPlan::Clock::time_point sentAt_{};
    KeyboardGrabStatus status_{KeyboardGrabState::failed, "no grab was started", {}};
};

}  // namespace tessarin::x11
