#pragma once
// Scrolls the content under the capture area a few lines at a time and
// decides from the stream whether it moves: content that grew means the
// scroller is tracking; content that stops changing means the end; a
// window that never moves gets the other direction once, then is given up.
//
// It runs cooperatively on the main thread: advance() is called often (every
// poll) and does one step when the step is due.

#include <chrono>
#include <cstdint>
#include <functional>

#include "core/scrolling/ScrollingCaptureStitcher.h"

namespace tessarin {

class ScrollingAutoScroller {
public:
    struct Thresholds {
        int64_t stallWeightWhenFrameStatic = 8;
        int64_t stallWeightWhenFrameChanged = 1;
        int64_t stallScoreForDirectionFlip = 32;
        int64_t stallScoreForGivingUp = 40;
        int64_t staticTicksForEnd = 20;
        int64_t noAppendTicksForEnd = 60;
    };
    struct Settings {
        int32_t stepLineCount = 3;
        std::chrono::nanoseconds tickInterval = std::chrono::milliseconds(80);
        int64_t maximumAppendedRows = 60'000;
        Thresholds thresholds;
        std::chrono::nanoseconds cursorPollInterval = std::chrono::milliseconds(50);
    };
    struct Probes {
        std::function<bool()> isCursorInRegion;
        std::function<int64_t()> progress;         // rows appended so far
        std::function<uint64_t()> currentFrameID;  // 0 while there is no frame
        std::function<void()> onScrolling;
        std::function<void()> onWaitingForCursor;
    };
    enum class Outcome { running, reachedEnd, cannotScroll };

    ScrollingAutoScroller(Settings settings, std::function<void(int32_t lines)> postScroll);

    void start(Probes probes, ScrollingClock::time_point now);
    // One step when due; once it reports an end it stays there.
    Outcome advance(ScrollingClock::time_point now);
    int32_t direction() const { return direction_; }
    const Settings& settings() const { return settings_; }

private:
    Outcome step();

    Settings settings_;
    std::function<void(int32_t)> postScroll_;
    Probes probes_;
    Outcome outcome_ = Outcome::running;
    ScrollingClock::time_point due_{};
    int32_t direction_ = -1;
    bool hasStepped_ = false;
    bool tracking_ = false;
    bool flipped_ = false;
    int64_t stall_ = 0;
    int64_t staticTicks_ = 0;
    int64_t noAppendTicks_ = 0;
    int64_t lastProgress_ = 0;
    uint64_t lastFrameID_ = 0;
    std::chrono::nanoseconds nextPause_{0};
};

}  // namespace tessarin
