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
    slot_.close();
    if (thread_.joinable()) thread_.join();
    grabber_.reset();
}

LatestRegionFrame X11RegionStream::latest() { return slot_.latest(); }

std::optional<CaptureError> X11RegionStream::stopError() { return slot_.stopError(); }

std::optional<CaptureError> X11RegionStream::grab(RegionFrame& frame) {
    if (auto error = grabber_->grab()) return error;
    std::memcpy(frame.bytes.data(), grabber_->pixels(), grabber_->byteCount());
    return std::nullopt;
}

void X11RegionStream::grabLoop() {
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        std::unique_ptr<RegionFrame> frame = frames_->take();
        if (auto error = grab(*frame)) {
            const std::string description = error->description();
            if (slot_.fail(std::move(*error))) {
                logLine(LogLevel::error, LogCategory::capture, "scrolling.stream stopped error=" + description);
            }
            return;
        }
        slot_.publish(frames_->publish(std::move(frame)));
        // A frame that came late moves the schedule instead of bursting.
        next = std::max(next + interval_, std::chrono::steady_clock::now());
        if (slot_.waitForClose(next)) return;
    }
}

}  // namespace tessarin::x11
