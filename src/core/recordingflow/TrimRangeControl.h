#pragma once
// The video editor's trim control: a strip of frames across the recording's
// duration with a handle at each end of the kept range and a playhead. The
// widget paints what this says and hands it the pointer; the arithmetic
// (time ↔ position, which handle a press takes, how far a handle may go)
// lives here.
//
// The range never gets shorter than minimumDuration (a handle dragged onto
// the other stops there), never leaves [0, duration], and the playhead is
// kept inside it, so what plays is what will be exported.

#include <string>

#include "core/recording/VideoEditModel.h"

namespace tessarin {

class TrimRangeControl {
public:
    // Raw values appear in the log; append only.
    enum class Part { none = 0, startHandle = 1, endHandle = 2, playhead = 3 };

    static constexpr double kHandleReach = 8;  // px either side of a handle that take it

    // A recording of `duration` seconds, the whole of it selected.
    explicit TrimRangeControl(double duration, double minimumDuration = 0.1);

    // The strip's horizontal extent in the widget's pixels.
    void setTrack(double left, double width);
    double trackLeft() const { return left_; }
    double trackWidth() const { return width_; }

    double xForTime(double seconds) const;
    // Clamped to [0, duration].
    double timeForX(double x) const;

    // Which part a press at `x` takes: the nearer handle within reach, else
    // the playhead (a press on the strip moves it there).
    Part hitTest(double x) const;
    // Press, drag, release: returns what moved.
    Part press(double x);
    Part drag(double x);
    void release() { dragging_ = Part::none; }
    Part dragging() const { return dragging_; }

    void setRange(MediaTimeRange range);
    MediaTimeRange range() const { return {start_, end_ - start_}; }
    double duration() const { return duration_; }
    // Kept inside the recording.
    void setPlayhead(double seconds);
    double playhead() const { return playhead_; }

    // The keyboard: the playhead steps by `seconds` (either way), and the
    // range's start or end moves to the playhead. True when the range changed.
    void stepPlayhead(double seconds) { setPlayhead(playhead_ + seconds); }
    bool startAtPlayhead();
    bool endAtPlayhead();

    // "00:01.0 - 00:04.5" and the playhead's "00:02.3".
    std::string rangeText() const { return videoRangeText(range()); }
    std::string playheadText() const { return videoTimeText(playhead_); }

private:
    void moveStart(double seconds);
    void moveEnd(double seconds);

    double duration_;
    double minimumDuration_;
    double left_ = 0;
    double width_ = 0;
    double start_ = 0;
    double end_;
    double playhead_ = 0;
    Part dragging_ = Part::none;
};

}  // namespace tessarin
