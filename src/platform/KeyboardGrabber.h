#pragma once
// Taking the whole keyboard for an overlay window, so Escape and Return
// reach it whatever had the focus. Another client may hold the keyboard for
// a moment (a menu that is still closing, the key grab of the shortcut that
// started the capture), so a refused grab is tried again for a short while.
//
// Nothing here waits: start() sends the first attempt and poll(), called
// by the event loop after the status's retryIn, reads its answer and sends
// the next one, until the keyboard is ours or the time is up.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace tessarin {

enum class KeyboardGrabState { trying, grabbed, failed };

struct KeyboardGrabStatus {
    KeyboardGrabState state = KeyboardGrabState::failed;
    std::string detail;                   // why it failed, for the log
    std::chrono::milliseconds retryIn{0};  // when to poll() again while trying
};

class KeyboardGrabber {
public:
    virtual ~KeyboardGrabber() = default;
    // Starts taking the keyboard for `window`, giving up a grab held before.
    virtual KeyboardGrabStatus start(uint32_t window) = 0;
    virtual KeyboardGrabStatus poll() = 0;
    // Gives the keyboard back (also a grab still being tried).
    virtual void release() = 0;
};

// Where no keyboard can be grabbed: every start fails with the reason.
class NullKeyboardGrabber final : public KeyboardGrabber {
public:
    explicit NullKeyboardGrabber(std::string reason) : reason_(std::move(reason)) {}
    KeyboardGrabStatus start(uint32_t) override { return {KeyboardGrabState::failed, reason_, {}}; }
    KeyboardGrabStatus poll() override { return {KeyboardGrabState::failed, reason_, {}}; }
    void release() override {}

private:
    std::string reason_;
};

// When to try again: answers to attempts go in, the next step comes out.
// Separate from the X requests so the timing is tested with a fake clock.
class GrabRetryPlan {
public:
    using Clock = std::chrono::steady_clock;

    enum class Answer {
        granted,
        heldElsewhere,  // another client holds the keyboard, or froze it
        notViewable,    // our window is not mapped yet
        invalid,        // the window does not exist, or the server refused
    };
    enum class Step { done, retry, giveUp };

    GrabRetryPlan(Clock::time_point start, std::chrono::milliseconds budget, std::chrono::milliseconds interval);

    // What follows an answer that arrived at `now`; after retry, the next
    // attempt is due at nextAttempt().
    Step after(Answer answer, Clock::time_point now);
    Clock::time_point nextAttempt() const { return nextAttempt_; }
    int attempts() const { return attempts_; }

private:
    Clock::time_point deadline_;
    std::chrono::milliseconds interval_;
    Clock::time_point nextAttempt_;
    int attempts_ = 0;
};

}  // namespace tessarin
