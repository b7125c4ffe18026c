#include "core/recordingflow/RegionStreamRecordingSource.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/recording/RecordingFileWriter.h"
#include "core/recording/VideoGeometry.h"

namespace tessarin {

RecordingError recordingErrorOf(const CaptureError& error) {
    switch (error.kind()) {
        case CaptureError::Kind::noDisplay: return RecordingError::noDisplay();
        case CaptureError::Kind::permissionDenied: return RecordingError::permissionDenied();
        case CaptureError::Kind::captureFailed: return RecordingError::recordingFailed(error.message());
    }
    return RecordingError::recordingFailed(error.description());
}

RegionStreamRecordingSource::RegionStreamRecordingSource(std::unique_ptr<RegionFrameStream> stream, double frameRate)
    : stream_(std::move(stream)), frameRate_(clampedRecordingFrameRate(frameRate)) {}

RegionStreamRecordingSource::~RegionStreamRecordingSource() { stop(); }

void RegionStreamRecordingSource::setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) {
    onFrame_ = std::move(onFrame);
    onError_ = std::move(onError);
}

std::optional<RecordingError> RegionStreamRecordingSource::start() {
    if (worker_.running()) return std::nullopt;
    if (!stream_) return RecordingError::noDisplay();
    if (auto error = stream_->start()) return recordingErrorOf(*error);
    worker_.start([this] { run(); });
    return std::nullopt;
}

void RegionStreamRecordingSource::stop() {
    worker_.stop();
    if (stream_) stream_->stop();
}

StreamRecordingCounts RegionStreamRecordingSource::counts() const {
    return {delivered_.load(), repeated_.load(), missed_.load(), skipped_.load()};
}

void RegionStreamRecordingSource::run() {
    const auto interval = std::chrono::nanoseconds(std::llround(1e9 / frameRate_));
    auto next = std::chrono::steady_clock::now();
    uint64_t lastFrameID = 0;
    for (;;) {
        if (auto error = stream_->stopError()) {
            if (onError_) onError_(recordingErrorOf(*error));
            return;
        }
        const LatestRegionFrame latest = stream_->latest();
        // Until the stream's first frame there is nothing to record yet.
        if (latest.frame && latest.frame->isWellFormed()) {
            if (latest.frameID == lastFrameID) {
                ++repeated_;
            } else if (lastFrameID != 0) {
                missed_ += static_cast<int64_t>(latest.frameID - lastFrameID - 1);
            }
            lastFrameID = latest.frameID;
            if (std::shared_ptr<VideoFrame> frame = pool_.take(latest.frame->width, latest.frame->height,
                                                                 static_cast<size_t>(latest.frame->width) * 4)) {
                frame->timestampNs = monotonicNanoseconds();
                const RegionFrame& source = *latest.frame;
                for (int64_t y = 0; y < source.height; ++y) {
                    std::memcpy(frame->bytes.data() + frame->bytesPerRow * static_cast<size_t>(y), source.row(y),
                                frame->bytesPerRow);
                }
                ++delivered_;
                if (onFrame_) onFrame_(frame);
            } else {
                ++skipped_;
            }
        }
        // A late tick moves the schedule on instead of bursting to catch up.
        next = std::max(next + interval, std::chrono::steady_clock::now());
        if (worker_.waitUntil(next)) return;
    }
}

}  // namespace tessarin
