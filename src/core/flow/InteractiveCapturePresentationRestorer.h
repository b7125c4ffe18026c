#pragma once
// Gives the focus back to the window that had it when a capture started,
// after a picker or overlay took it: activate it, wait 75 ms on the main
// executor (never blocking it), check; up to 8 times. Window managers often
// refuse or delay an activation while the overlay is still going away, so a
// single attempt is not enough.

#include <chrono>
#include <memory>

#include "core/common/Lifetime.h"
#include "core/flow/CaptureFlowPorts.h"

namespace tessarin {

// The desktop's part: activating a window and asking whether it is active.
class WindowActivation {
public:
    virtual ~WindowActivation() = default;
    virtual void activate(WindowHandle window) = 0;
    virtual bool isActive(WindowHandle window) = 0;
};

class InteractiveCapturePresentationRestorer {
public:
    static constexpr int maxActivationAttempts = 8;
    static constexpr std::chrono::milliseconds retryDelay{75};

    InteractiveCapturePresentationRestorer(WindowActivation& windows, DelayOnMain delay)
        : windows_(windows), delay_(std::move(delay)) {}

    // Completes with whether the session's recorded window is active again.
    // Each attempt logs "attempt=<n> activeBefore=<b> activeAfter=<b>"; the
    // last failed one "timed_out attempts=<n> active=<b>". A session with no
    // recorded window completes with false at once.
    void restoreAppFocus(const CaptureSession& session, Completion<bool> done);

private:
    void attempt(std::string captureID, WindowHandle window, int number, Completion<bool> done);

    WindowActivation& windows_;
    DelayOnMain delay_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
