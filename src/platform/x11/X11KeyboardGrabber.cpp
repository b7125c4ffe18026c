#include "platform/x11/X11KeyboardGrabber.h"

#include <cstdlib>
#include <string>

#include <xcb/xcbext.h>

#include "core/common/Log.h"
#include "platform/x11/XcbDeadline.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {

namespace {

using Answer = GrabRetryPlan::Answer;

Answer answerOf(uint8_t status) {
    switch (status) {
        case XCB_GRAB_STATUS_SUCCESS: return Answer::granted;
        case XCB_GRAB_STATUS_ALREADY_GRABBED:
        case XCB_GRAB_STATUS_FROZEN:
        case XCB_GRAB_STATUS_INVALID_TIME: return Answer::heldElsewhere;
        case XCB_GRAB_STATUS_NOT_VIEWABLE: return Answer::notViewable;
        default: return Answer::invalid;
    }
}

std::string refusalText(uint8_t status) {
    switch (status) {
        case XCB_GRAB_STATUS_ALREADY_GRABBED: return "another program holds the keyboard";
        case XCB_GRAB_STATUS_FROZEN: return "another program froze the keyboard";
        case XCB_GRAB_STATUS_NOT_VIEWABLE: return "the window is not on screen";
        case XCB_GRAB_STATUS_INVALID_TIME: return "the keyboard was grabbed later than asked";
        default: return "the X server refused the grab (status " + std::to_string(status) + ")";
    }
}

std::chrono::milliseconds until(GrabRetryPlan::Clock::time_point from, GrabRetryPlan::Clock::time_point to) {
    return std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(to - from));
}

}  // namespace

X11KeyboardGrabber::X11KeyboardGrabber(xcb_connection_t* borrowedConnection, KeyboardGrabTiming timing)
    : connection_(borrowedConnection), timing_(std::move(timing)) {}

X11KeyboardGrabber::~X11KeyboardGrabber() { release(); }

KeyboardGrabStatus X11KeyboardGrabber::start(uint32_t window) {
    release();
    window_ = window;
    const auto now = timing_.now();
    plan_.emplace(now, timing_.budget, timing_.interval);
    if (xcb_connection_has_error(connection_) != 0) {
        return finish(KeyboardGrabState::failed, "the connection to the X server is broken");
    }
    sendAttempt();
    status_ = trying(now);
    return status_;
}

void X11KeyboardGrabber::sendAttempt() {
    // Keys for our other windows still go to them; everything else to `window_`.
    const auto cookie = xcb_grab_keyboard(connection_, 1, window_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                          XCB_GRAB_MODE_ASYNC);
    xcb_flush(connection_);
    pending_ = cookie.sequence;
    sentAt_ = timing_.now();
}

KeyboardGrabStatus X11KeyboardGrabber::trying(GrabRetryPlan::Clock::time_point now) const {
    // An answer is usually back within a millisecond; the next attempt is
    // due at its own time.
    const auto wait = pending_ ? timing_.interval / 4 : until(now, plan_->nextAttempt());
    return {KeyboardGrabState::trying, {}, std::max(wait, std::chrono::milliseconds(1))};
}

KeyboardGrabStatus X11KeyboardGrabber::poll() {
    if (status_.state != KeyboardGrabState::trying) return status_;
    const auto now = timing_.now();
    if (xcb_connection_has_error(connection_) != 0) {
        pending_.reset();
        return finish(KeyboardGrabState::failed, "the connection to the X server is broken");
    }
    if (!pending_) {
        if (now >= plan_->nextAttempt()) sendAttempt();
        status_ = trying(now);
        return status_;
    }
    void* raw = nullptr;
    xcb_generic_error_t* rawError = nullptr;
    if (xcb_poll_for_reply(connection_, *pending_, &raw, &rawError) == 0) {
        if (now - sentAt_ >= replyTimeout()) {
            xcb_discard_reply(connection_, *pending_);
            pending_.reset();
            return finish(KeyboardGrabState::failed, "the X server did not answer the keyboard grab");
        }
        status_ = trying(now);
        return status_;
    }
    pending_.reset();
    XcbPtr<xcb_grab_keyboard_reply_t> reply(static_cast<xcb_grab_keyboard_reply_t*>(raw));
    XcbPtr<xcb_generic_error_t> error(rawError);
    if (!reply) {
        const std::string why = error ? "window " + std::to_string(window_) + " cannot take the keyboard (X error " +
                                            std::to_string(error->error_code) + ")"
                                      : "the connection to the X server is broken";
        return finish(KeyboardGrabState::failed, why);
    }
    const uint8_t answer = reply->status;
    switch (plan_->after(answerOf(answer), now)) {
        case GrabRetryPlan::Step::done: return finish(KeyboardGrabState::grabbed, {});
        case GrabRetryPlan::Step::giveUp:
            return finish(KeyboardGrabState::failed, refusalText(answer) + " (" + std::to_string(plan_->attempts()) +
                                                         (plan_->attempts() == 1 ? " attempt)" : " attempts)"));
        case GrabRetryPlan::Step::retry: break;
    }
    status_ = trying(now);
    return status_;
}

KeyboardGrabStatus X11KeyboardGrabber::finish(KeyboardGrabState state, std::string detail) {
    status_ = {state, std::move(detail), {}};
    logLine(state == KeyboardGrabState::grabbed ? LogLevel::debug : LogLevel::error, LogCategory::capture,
            "overlay.keyboard_grab window=" + std::to_string(window_) +
                (state == KeyboardGrabState::grabbed ? " grabbed=true" : " grabbed=false reason=\"" + status_.detail + "\"") +
                " attempts=" + std::to_string(plan_ ? plan_->attempts() : 0));
    return status_;
}

void X11KeyboardGrabber::release() {
    const bool mayHold = status_.state == KeyboardGrabState::grabbed || pending_.has_value();
    if (pending_) {
        // The attempt in flight may still succeed: the ungrab below comes
        // after it and undoes it.
        xcb_discard_reply(connection_, *pending_);
        pending_.reset();
    }
    if (mayHold && xcb_connection_has_error(connection_) == 0) {
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
    }
    if (status_.state != KeyboardGrabState::failed || mayHold) status_ = {KeyboardGrabState::failed, "released", {}};
    plan_.reset();
}

}  // namespace tessarin::x11
