#include "core/scrolling/ScrollingCapturePump.h"

namespace tessarin {

ScrollingCapturePump::ScrollingCapturePump(std::unique_ptr<ScrollingCaptureStitcher> stitcher, uint64_t firstFrameID,
                                           int64_t minimumAppendedRows)
    : stitcher_(std::move(stitcher)), minimumAppendedRows_(minimumAppendedRows), lastProcessedFrameID_(firstFrameID) {}

ScrollingCapturePump::~ScrollingCapturePump() { waitUntilIdle(); }

std::optional<FrameProcessingResult> ScrollingCapturePump::collect() {
    std::optional<FrameProcessingResult> result;
    {
        std::lock_guard lock(slot_->mutex);
        if (slot_->inFlight || !slot_->result) return std::nullopt;
        result = std::move(slot_->result);
        slot_->result.reset();
    }
    if (*result && result->value().disposition.kind == ScrollingCaptureFrameDisposition::Kind::appended) {
        appendedRows_ += result->value().disposition.rows;
    }
    return result;
}

std::optional<FrameProcessingResult> ScrollingCapturePump::advance(
    const LatestRegionFrame& latest, std::optional<ScrollingCapturePreviewRequest> previewRequest) {
    auto finished = collect();
    {
        std::lock_guard lock(slot_->mutex);
        if (slot_->inFlight || slot_->result) return finished;
    }
    if (!latest.frame || latest.frameID == lastProcessedFrameID_) return finished;
    lastProcessedFrameID_ = latest.frameID;
    {
        std::lock_guard lock(slot_->mutex);
        slot_->inFlight = true;
    }
    stitcher_->submit(latest.frame, minimumAppendedRows_, previewRequest,
                      [slot = slot_](FrameProcessingResult result) {
                          std::lock_guard lock(slot->mutex);
                          slot->result = std::move(result);
                          slot->inFlight = false;
                          slot->finished.notify_all();
                      });
    // A worker that runs inline (tests) has already finished.
    if (!finished) return collect();
    return finished;
}

void ScrollingCapturePump::waitUntilIdle() {
    std::unique_lock lock(slot_->mutex);
    slot_->finished.wait(lock, [this] { return !slot_->inFlight; });
}

Expected<Image, CaptureError> ScrollingCapturePump::takeFinalImage() {
    waitUntilIdle();
    // A frame that finished but was never collected still counts.
    (void)collect();
    return stitcher_->takeFinalImage();
}

}  // namespace tessarin
