#pragma once
// Feeds the newest frame of the stream to the stitcher, never the same frame
// twice, and never more than one at a time: while the stitcher works the
// stream keeps replacing its newest frame, so a slow analysis skips frames
// instead of queueing them. The caller's thread never waits for analysis.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "core/scrolling/ScrollingCaptureStitcher.h"

namespace tessarin {

class ScrollingCapturePump {
public:
    ScrollingCapturePump(std::unique_ptr<ScrollingCaptureStitcher> stitcher, uint64_t firstFrameID,
                         int64_t minimumAppendedRows);
    ~ScrollingCapturePump();
    ScrollingCapturePump(const ScrollingCapturePump&) = delete;
    ScrollingCapturePump& operator=(const ScrollingCapturePump&) = delete;

    // The result of the frame that finished since the last call, if any;
    // then hands `latest` to the stitcher when it is new and the stitcher
    // is free.
    std::optional<FrameProcessingResult> advance(const LatestRegionFrame& latest,
                                                 std::optional<ScrollingCapturePreviewRequest> previewRequest);

    int64_t appendedRows() const { return appendedRows_; }
    uint64_t lastProcessedFrameID() const { return lastProcessedFrameID_; }
    // Waits for the frame in flight (at most one analysis), drops its
    // result, and moves the stitched image out.
    Expected<Image, CaptureError> takeFinalImage();

private:
    struct Slot {
        std::mutex mutex;
        std::condition_variable finished;
        bool inFlight = false;
        std::optional<FrameProcessingResult> result;
    };
    std::optional<FrameProcessingResult> collect();
    void waitUntilIdle();

    std::unique_ptr<ScrollingCaptureStitcher> stitcher_;
    int64_t minimumAppendedRows_;
    uint64_t lastProcessedFrameID_;
    int64_t appendedRows_ = 0;
    std::shared_ptr<Slot> slot_ = std::make_shared<Slot>();
};

}  // namespace tessarin
