#include "platform/x11/X11RegionStream.h"

#include <cmath>
#include <cstring>

#include "core/common/Log.h"
#include "platform/x11/ShmAreaGrabber.h"

namespace tessarin::x11 {

X11RegionStream::X11RegionStream(std::string displayName, PixelRect area, double framesPerSecond)
    : displayName_(std::move(displayName)),
      area_(area),
      interval_(std::chrono::nanoseconds(
          std::llround(1e9 / (std::isfinite(framesPerSecond) && framesPerSecond >= 1 ? framesPerSecond : 30)))) {}

X11RegionStream::~X11RegionStream() { stop(); }

std::optional<CaptureError> X11RegionStream::start() {
    if (thread_.joinable()) return std::nullopt;
    auto grabber = ShmAreaGrabber::open(displayName_, area_);
    if (!grabber) return grabber.error();
    grabber_ = std::move(grabber.value());
    frames_ = std::make_unique<RegionFrameRecycler>(area_.width, area_.height, static_cast<size_t>(grabber_->stride()));
    thread_ = std::thread([this] { grabLoop(); });
    return std::nullopt;
}

void X11RegionStream::stop() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    grabber_.reset();
}

LatestRegionFrame X11RegionStream::latest() {
    std::lock_guard guard(lock_);
    return {latestBuffer_, latestFrameID_};
}

std::optional<CaptureError> X11RegionStream::stopError() {
    std::lock_guard guard(lock_);
    return stopError_;
}

std::optional<CaptureError> X11RegionStream::grab(RegionFrame& frame) {
    if (auto error = grabber_->grab()) return error;
    std::memcpy(frame.bytes.data(), grabber_->pixels(), grabber_->byteCount());
    return std::nullopt;
}

void X11RegionStream::grabLoop() {
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        std::unique_ptr<RegionFrame> frame = frames_->take();
        auto error = grab(*frame);
        // Released outside the lock; with no reader left it goes back to the shelf.
        std::shared_ptr<const RegionFrame> replaced;
        {
            std::unique_lock guard(lock_);
            if (error) {
                stopError_ = std::move(error);
                logLine(LogLevel::error, LogCategory::capture, "scrolling.stream stopped error=" + stopError_->description());
                return;
            }
            replaced = std::exchange(latestBuffer_, frames_->publish(std::move(frame)));
            ++latestFrameID_;
            // A frame that came late moves the schedule instead of bursting.
            next = std::max(next + interval_, std::chrono::steady_clock::now());
            if (wake_.wait_until(guard, next, [this] { return stopping_; })) return;
        }
    }
}

}  // namespace tessarin::x11
