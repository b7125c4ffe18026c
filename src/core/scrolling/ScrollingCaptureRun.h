#pragma once
// One scrolling capture from the first frame to the stitched image: polls
// the region stream, feeds new frames to the stitcher, optionally drives the
// auto-scroller, and decides when the capture has ended. It lives on the
// main thread; the analysis runs on the stitcher's thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "core/scrolling/ScrollingAutoScroller.h"
#include "core/scrolling/ScrollingCaptureConfiguration.h"
#include "core/scrolling/ScrollingCapturePump.h"
#include "core/scrolling/ScrollingTrackingSummary.h"

namespace tessarin {

namespace ScrollingRunMessages {
inline constexpr const char* firstFrameTimedOut = "Timed out waiting for the first scrolling capture frame";
}

class ScrollingCaptureRun {
public:
    // In this order; the first one reached wins.
    enum class Ending { reachedEnd, cannotScroll, idle, reachedRowLimit, streamFailed };

    struct FrameOutcome {
        std::optional<ScrollingCaptureFrameProcessingResult> processed;
        std::optional<CaptureError> failed;  // exactly one of the two
    };

    struct AutoScrollPlan {
        std::function<bool()> isCursorInRegion = [] { return true; };
        std::function<void()> onScrolling = [] {};
        std::function<void()> onWaitingForCursor = [] {};
        std::function<void(Ending)> onEnded = [](Ending) {};
    };

    struct Dependencies {
        std::unique_ptr<RegionFrameStream> source;
        ScrollingCaptureConfiguration configuration;
        std::optional<ScrollingCapturePreviewRequest> previewRequest;
        std::optional<double> idleTimeoutSeconds;
        std::function<bool()> isAutoScrollPermitted = [] { return true; };
        std::function<void(const FrameOutcome&)> onFrame = [](const FrameOutcome&) {};
        std::function<void(int32_t lines)> postScroll = [](int32_t) {};
        std::function<ScrollingClock::time_point()> now = [] { return ScrollingClock::now(); };
        std::function<void(std::chrono::nanoseconds)> sleep;
        Executor* stitchWorker = nullptr;  // none: the stitcher's own thread
        ScrollingAutoScroller::Settings autoScrollSettings;
    };

    explicit ScrollingCaptureRun(Dependencies dependencies);
    ~ScrollingCaptureRun();
    ScrollingCaptureRun(const ScrollingCaptureRun&) = delete;
    ScrollingCaptureRun& operator=(const ScrollingCaptureRun&) = delete;

    // Starts the stream and waits (about 2.4 s at most) for its first frame.
    std::optional<CaptureError> start();
    void pollOnce();
    bool armAutoScroll(AutoScrollPlan plan);
    void disarmAutoScroll();
    // Stops polling and the stream; what was stitched stays.
    void stop();
    Expected<Image, CaptureError> renderFinalImage();

    std::optional<Ending> ending() const { return ending_; }
    bool isAutoScrolling() const { return autoScroller_ != nullptr; }
    bool isStopped() const { return isStopped_; }
    int64_t appendedRows() const { return pump_ ? pump_->appendedRows() : 0; }
    // Why the stream stopped by itself, once that was seen.
    const std::optional<CaptureError>& streamError() const { return streamError_; }
    const ScrollingCaptureConfiguration& configuration() const { return deps_.configuration; }
    const ScrollingTrackingSummary& tracking() const { return tracking_; }

private:
    void handle(FrameProcessingResult result);
    void checkIdle();
    void setEnding(Ending ending);

    Dependencies deps_;
    std::unique_ptr<ScrollingCapturePump> pump_;
    std::unique_ptr<ScrollingAutoScroller> autoScroller_;
    AutoScrollPlan plan_;
    ScrollingClock::time_point lastGrowthAt_{};
    bool isStopped_ = false;
    std::optional<Ending> ending_;
    std::optional<CaptureError> streamError_;
    ScrollingTrackingSummary tracking_;
};

const char* describe(ScrollingCaptureRun::Ending ending);

}  // namespace tessarin
