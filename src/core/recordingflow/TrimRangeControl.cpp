#include "core/recordingflow/TrimRangeControl.h"

#include <algorithm>
#include <cmath>

namespace tessarin {

namespace {
double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }
}  // namespace

TrimRangeControl::TrimRangeControl(double duration, double minimumDuration)
    : duration_(std::max(0.0, finiteOr(duration, 0))),
      // A recording shorter than the minimum keeps all of itself.
      minimumDuration_(std::clamp(finiteOr(minimumDuration, 0), 0.0, duration_)),
      end_(duration_) {}

void TrimRangeControl::setTrack(double left, double width) {
    left_ = finiteOr(left, 0);
    width_ = std::max(0.0, finiteOr(width, 0));
}

double TrimRangeControl::xForTime(double seconds) const {
    if (!(duration_ > 0)) return left_;
    return left_ + std::clamp(finiteOr(seconds, 0), 0.0, duration_) / duration_ * width_;
}

double TrimRangeControl::timeForX(double x) const {
    if (!(width_ > 0)) return 0;
    return std::clamp((finiteOr(x, left_) - left_) / width_ * duration_, 0.0, duration_);
}

TrimRangeControl::Part TrimRangeControl::hitTest(double x) const {
    const double toStart = std::abs(x - xForTime(start_));
    const double toEnd = std::abs(x - xForTime(end_));
    if (std::min(toStart, toEnd) <= kHandleReach) {
        // Handles drawn on top of each other: the one that can move towards x.
        if (toStart == toEnd) return x < xForTime(start_) ? Part::startHandle : Part::endHandle;
        return toStart < toEnd ? Part::startHandle : Part::endHandle;
    }
    if (x < left_ || x > left_ + width_) return Part::none;
    return Part::playhead;
}

TrimRangeControl::Part TrimRangeControl::press(double x) {
    dragging_ = hitTest(x);
    return drag(x);
}

TrimRangeControl::Part TrimRangeControl::drag(double x) {
    const double seconds = timeForX(x);
    switch (dragging_) {
        case Part::startHandle: moveStart(seconds); break;
        case Part::endHandle: moveEnd(seconds); break;
        case Part::playhead: setPlayhead(seconds); break;
        case Part::none: break;
    }
    return dragging_;
}

void TrimRangeControl::moveStart(double seconds) {
    start_ = std::clamp(seconds, 0.0, end_ - minimumDuration_);
    // Dragging a handle shows the frame under it.
    playhead_ = start_;
}

void TrimRangeControl::moveEnd(double seconds) {
    end_ = std::clamp(seconds, start_ + minimumDuration_, duration_);
    playhead_ = end_;
}

void TrimRangeControl::setRange(MediaTimeRange range) {
    const double start = std::clamp(finiteOr(range.start, 0), 0.0, std::max(0.0, duration_ - minimumDuration_));
    const double end = std::clamp(finiteOr(range.end(), duration_), start + minimumDuration_, duration_);
    start_ = start;
    end_ = end;
}

bool TrimRangeControl::startAtPlayhead() {
    const MediaTimeRange before = range();
    const double at = playhead_;
    moveStart(at);
    return range() != before;
}

bool TrimRangeControl::endAtPlayhead() {
    const MediaTimeRange before = range();
    const double at = playhead_;
    moveEnd(at);
    return range() != before;
}

void TrimRangeControl::setPlayhead(double seconds) { playhead_ = std::clamp(finiteOr(seconds, start_), 0.0, duration_); }

}  // namespace tessarin
