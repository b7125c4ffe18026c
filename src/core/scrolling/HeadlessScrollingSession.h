#pragma once
// The scrolling capture without any chrome, as the command line runs it:
// optionally scrolls the region itself, and ends at the first ending (idle,
// end of content, length limit, stream failure) or at the deadline.

#include <functional>
#include <memory>

#include "core/common/Geometry.h"
#include "core/scrolling/ScrollingCaptureRun.h"

namespace tessarin {

struct HeadlessScrollingParameters {
    Rect region;  // global points, bottom-left origin
    bool autoScroll = true;
    double maxDurationSeconds = 30;
    double idleTimeoutSeconds = 3;
    ScrollingCaptureConfiguration configuration;
};

// What the session needs of the platform and of time.
struct ScrollingEnvironment {
    std::function<Expected<std::unique_ptr<RegionFrameStream>, CaptureError>()> makeFrameSource;
    std::function<void(Point global)> movePointer = [](Point) {};
    std::function<void(int32_t lines)> postScroll = [](int32_t) {};
    std::function<ScrollingClock::time_point()> now = [] { return ScrollingClock::now(); };
    std::function<void(std::chrono::nanoseconds)> sleep;  // none: the thread sleeps
    Executor* stitchWorker = nullptr;
};

class HeadlessScrollingSession {
public:
    HeadlessScrollingSession(HeadlessScrollingParameters parameters, ScrollingEnvironment environment);

    // The stitched image. When the stream fails, what was stitched so far,
    // or the stream's error when nothing beyond the first frame was.
    Expected<Image, CaptureError> run();
    std::optional<ScrollingCaptureRun::Ending> ending() const { return ending_; }
    // After run(): how well the capture followed the content.
    const ScrollingTrackingSummary& tracking() const { return tracking_; }

private:
    HeadlessScrollingParameters parameters_;
    ScrollingEnvironment environment_;
    std::optional<ScrollingCaptureRun::Ending> ending_;
    ScrollingTrackingSummary tracking_;
};

}  // namespace tessarin
