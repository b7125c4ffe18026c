#include "core/scrolling/ScrollingCaptureStitcher.h"

namespace tessarin {
namespace {

int64_t millisecondsSince(ScrollingClock::time_point start) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(ScrollingClock::now() - start);
    return std::max<int64_t>(0, elapsed.count());
}

}  // namespace

ScrollingCaptureStitcher::ScrollingCaptureStitcher(ScrollingCaptureComposer composer,
                                                   const ScrollingFrameRaster& firstRaster, Executor* worker)
    : composer_(std::move(composer)),
      lastObservedFrame_(firstRaster.releasingSource()),
      ownWorker_(worker == nullptr ? std::make_unique<ThreadPool>(1) : nullptr),
      worker_(worker == nullptr ? ownWorker_.get() : worker) {}

ScrollingCaptureStitcher::~ScrollingCaptureStitcher() {
    std::unique_lock lock(inFlightMutex_);
    idle_.wait(lock, [this] { return inFlight_ == 0; });
    lock.unlock();
    ownWorker_.reset();
}

void ScrollingCaptureStitcher::finishedFrame() {
    std::lock_guard lock(inFlightMutex_);
    --inFlight_;
    idle_.notify_all();
}

void ScrollingCaptureStitcher::submit(std::shared_ptr<const RegionFrame> frame, int64_t minimumAcceptedRows,
                                      std::optional<ScrollingCapturePreviewRequest> previewRequest,
                                      UniqueFunction<void(FrameProcessingResult)> done) {
    const auto queuedAt = ScrollingClock::now();
    {
        std::lock_guard lock(inFlightMutex_);
        ++inFlight_;
    }
    worker_->post([this, frame = std::move(frame), minimumAcceptedRows, previewRequest, queuedAt,
                   done = std::move(done)]() mutable {
        FrameProcessingResult result = unexpected(CaptureError::interrupted("the frame analysis failed"));
        try {
            auto raster = ScrollingFrameRaster::fromFrame(std::move(frame));
            if (raster) {
                result = processRaster(*raster, minimumAcceptedRows, previewRequest, queuedAt);
                // Before `done`: once it runs, the final image may be taken.
                prepareForNextFrame();
            } else {
                result = unexpected(raster.error());
            }
        } catch (...) {
            result = unexpected(CaptureError::interrupted(backgroundFailureReason(std::current_exception())));
        }
        // `done` is the last use of the stitcher's caller; the count the last of this one.
        done(std::move(result));
        finishedFrame();
    });
}

FrameProcessingResult ScrollingCaptureStitcher::processRaster(
    const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows,
    std::optional<ScrollingCapturePreviewRequest> previewRequest, ScrollingClock::time_point queuedAt) {
    ScrollingCaptureFrameProcessingResult result;
    result.stillnessScore = raster.stillnessScore(lastObservedFrame_);
    result.movedOutsideSamples = result.stillnessScore <= kVisibleMovementScore &&
                                 raster.changedRowShare(lastObservedFrame_) >= kMinimumChangedRowShare;
    lastObservedFrame_ = raster.releasingSource();
    // An unchanged frame costs no alignment and no failure count.
    if (result.stillnessScore <= kMinimumMovementScore && !result.movedOutsideSamples) {
        result.disposition = ScrollingCaptureFrameDisposition::ignored();
        return result;
    }
    const auto started = ScrollingClock::now();
    auto disposition = composer_.appendDisposition(raster, minimumAcceptedRows);
    result.analysisDurationMilliseconds = millisecondsSince(started);
    if (!disposition) return unexpected(disposition.error());
    result.disposition = *disposition;
    if (result.disposition.kind == ScrollingCaptureFrameDisposition::Kind::appended && previewRequest) {
        const auto renderStarted = ScrollingClock::now();
        // The rows are appended either way; a failed preview only means no
        // new preview this time.
        if (auto preview = composer_.renderPreview(previewRequest->maxWidth, previewRequest->maxHeight)) {
            result.previewSnapshot = ScrollingCapturePreviewSnapshot{
                std::make_shared<const Image>(std::move(*preview)), millisecondsSince(queuedAt),
                millisecondsSince(renderStarted)};
        }
    }
    return result;
}

}  // namespace tessarin
