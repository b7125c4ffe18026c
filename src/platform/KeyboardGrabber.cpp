#include "platform/KeyboardGrabber.h"

#include <algorithm>

namespace tessarin {

GrabRetryPlan::GrabRetryPlan(Clock::time_point start, std::chrono::milliseconds budget,
                             std::chrono::milliseconds interval)
    : deadline_(start + budget), interval_(interval), nextAttempt_(start) {}

GrabRetryPlan::Step GrabRetryPlan::after(Answer answer, Clock::time_point now) {
    ++attempts_;
    switch (answer) {
        case Answer::granted: return Step::done;
        case Answer::invalid: return Step::giveUp;
        case Answer::heldElsewhere:
        case Answer::notViewable: break;
    }
    // A last attempt may still start at the deadline itself.
    if (now >= deadline_) return Step::giveUp;
    nextAttempt_ = std::min(now + interval_, deadline_);
    return Step::retry;
}

}  // namespace tessarin
