#pragma once
// The composer behind a stillness gate, with timing and previews. Frames
// are analysed one at a time, in arrival order, on the stitcher's own
// thread: submit() hands a frame over and its completion runs there.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <optional>

#include "core/common/Executor.h"
#include "core/common/ThreadPool.h"
#include "core/scrolling/ScrollingCaptureComposer.h"
#include "core/scrolling/ScrollingTrackingSummary.h"

namespace tessarin {

using ScrollingClock = std::chrono::steady_clock;

struct ScrollingCapturePreviewRequest {
    int64_t maxWidth = 0;
    int64_t maxHeight = 0;
};

struct ScrollingCapturePreviewSnapshot {
    std::shared_ptr<const Image> image;
    int64_t queueDelayMilliseconds = 0;
    int64_t renderDurationMilliseconds = 0;
};

struct ScrollingCaptureFrameProcessingResult {
    ScrollingCaptureFrameDisposition disposition;
    int64_t analysisDurationMilliseconds = 0;
    std::optional<ScrollingCapturePreviewSnapshot> previewSnapshot;
    double stillnessScore = 0;
    // Most rows changed although the sampled columns did not: look-alike
    // rows scrolled by whole rows. Such a frame moved.
    bool movedOutsideSamples = false;

    bool visiblyMoved() const { return stillnessScore > kVisibleMovementScore || movedOutsideSamples; }
};

using FrameProcessingResult = Expected<ScrollingCaptureFrameProcessingResult, CaptureError>;

class ScrollingCaptureStitcher {
public:
    static constexpr double kMinimumMovementScore = 0.02;
    // The share of whole rows that must change for a frame that looks still
    // in the sampled columns to count as moved: more than a blinking cursor
    // or a ticking clock changes.
    static constexpr double kMinimumChangedRowShare = 0.25;

    // `worker` runs the analysis; without one the stitcher starts its own
    // thread (a third executor beside the main and background ones: the
    // analysis of one frame takes tens of milliseconds and must never queue
    // behind encodes and file writes). The destructor waits for the frame
    // in flight, whichever worker runs it, so a submitted task never finds
    // the stitcher gone.
    ScrollingCaptureStitcher(ScrollingCaptureComposer composer, const ScrollingFrameRaster& firstRaster,
                             Executor* worker = nullptr);
    ~ScrollingCaptureStitcher();
    ScrollingCaptureStitcher(const ScrollingCaptureStitcher&) = delete;
    ScrollingCaptureStitcher& operator=(const ScrollingCaptureStitcher&) = delete;

    // On the worker: builds the frame's raster and processes it; `done` runs
    // on the worker with the result.
    void submit(std::shared_ptr<const RegionFrame> frame, int64_t minimumAcceptedRows,
                std::optional<ScrollingCapturePreviewRequest> previewRequest,
                UniqueFunction<void(FrameProcessingResult)> done);

    // The analysis itself, on the caller's thread (the worker, tests, the
    // benchmark). Not to be called while a submitted frame is in flight.
    FrameProcessingResult processRaster(const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows,
                                        std::optional<ScrollingCapturePreviewRequest> previewRequest,
                                        ScrollingClock::time_point queuedAt);

    // Between frames (the worker does it after each frame): see
    // ScrollingCaptureComposer::prepareForNextFrame.
    void prepareForNextFrame() { composer_.prepareForNextFrame(); }
    // Only once no frame is in flight: the full-size image, moved out.
    Expected<Image, CaptureError> takeFinalImage() { return composer_.takeFinalImage(); }
    const ScrollingCaptureComposer& composer() const { return composer_; }

private:
    ScrollingCaptureComposer composer_;
    ScrollingFrameRaster lastObservedFrame_;
    void finishedFrame();

    std::unique_ptr<ThreadPool> ownWorker_;
    Executor* worker_;
    std::mutex inFlightMutex_;
    std::condition_variable idle_;
    int inFlight_ = 0;
};

}  // namespace tessarin
