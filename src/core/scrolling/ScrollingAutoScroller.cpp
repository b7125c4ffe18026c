#include "core/scrolling/ScrollingAutoScroller.h"

#include <algorithm>

namespace tessarin {

ScrollingAutoScroller::ScrollingAutoScroller(Settings settings, std::function<void(int32_t)> postScroll)
    : settings_(settings), postScroll_(std::move(postScroll)) {
    settings_.stepLineCount = std::max<int32_t>(1, settings_.stepLineCount);
    settings_.maximumAppendedRows = std::max<int64_t>(1, settings_.maximumAppendedRows);
}

void ScrollingAutoScroller::start(Probes probes, ScrollingClock::time_point now) {
    probes_ = std::move(probes);
    due_ = now;
}

ScrollingAutoScroller::Outcome ScrollingAutoScroller::advance(ScrollingClock::time_point now) {
    if (outcome_ != Outcome::running || now < due_) return outcome_;
    outcome_ = step();
    due_ = now + nextPause_;
    return outcome_;
}

ScrollingAutoScroller::Outcome ScrollingAutoScroller::step() {
    const auto& t = settings_.thresholds;
    if (!probes_.isCursorInRegion()) {
        // Paused, counters kept, until the pointer comes back.
        probes_.onWaitingForCursor();
        nextPause_ = settings_.cursorPollInterval;
        return Outcome::running;
    }
    if (hasStepped_) {
        const bool grew = probes_.progress() > lastProgress_;
        const bool changed = probes_.currentFrameID() != lastFrameID_;
        if (tracking_) {
            staticTicks_ = changed ? 0 : staticTicks_ + 1;
            noAppendTicks_ = grew ? 0 : noAppendTicks_ + 1;
            if (staticTicks_ >= t.staticTicksForEnd || noAppendTicks_ >= t.noAppendTicksForEnd) {
                return Outcome::reachedEnd;
            }
        } else if (grew) {
            tracking_ = true;
            stall_ = staticTicks_ = noAppendTicks_ = 0;
        } else {
            stall_ += changed ? t.stallWeightWhenFrameChanged : t.stallWeightWhenFrameStatic;
            if (flipped_) {
                if (stall_ >= t.stallScoreForGivingUp) return Outcome::cannotScroll;
            } else if (stall_ >= t.stallScoreForDirectionFlip) {
                direction_ = -direction_;
                flipped_ = true;
                stall_ = 0;
            }
        }
    }
    probes_.onScrolling();
    const int64_t progress = probes_.progress();
    if (progress >= settings_.maximumAppendedRows) return Outcome::reachedEnd;
    lastProgress_ = progress;
    lastFrameID_ = probes_.currentFrameID();
    hasStepped_ = true;
    postScroll_(settings_.stepLineCount * direction_);
    nextPause_ = settings_.tickInterval;
    return Outcome::running;
}

}  // namespace tessarin
