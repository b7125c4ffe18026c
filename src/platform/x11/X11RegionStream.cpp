#include "platform/x11/X11RegionStream.h"

#include <cmath>
#include <cstring>

#include <xcb/shm.h>

#include "core/common/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Pixels.h"

namespace tessarin::x11 {

X11RegionStream::X11RegionStream(std::string displayName, PixelRect area, double framesPerSecond)
    : displayName_(std::move(displayName)),
      area_(area),
      interval_(std::chrono::nanoseconds(
          std::llround(1e9 / (std::isfinite(framesPerSecond) && framesPerSecond >= 1 ? framesPerSecond : 30)))) {}

X11RegionStream::~X11RegionStream() { stop(); }

std::optional<CaptureError> X11RegionStream::start() {
    if (thread_.joinable()) return std::nullopt;
    auto connection = X11Connection::open(displayName_);
    if (!connection) return CaptureError::captureFailed(connection.error());
    connection_ = std::move(connection.value());
    const xcb_screen_t& screen = connection_->screen();
    auto format = X11PixelReader(*connection_, {}).formatFor(screen.root_depth, screen.root_visual);
    if (!format) return format.error();
    format_ = *format;
    stride_ = zpixmapStride(static_cast<uint32_t>(area_.width), format_);
    if (area_.isEmpty() || area_.width > 0x7fff || area_.height > 0x7fff) {
        return CaptureError::captureFailed("cannot stream an area of " + std::to_string(area_.width) + "x" +
                                           std::to_string(area_.height) + " pixels");
    }
    if (!connection_->extensions().shm) {
        return CaptureError::captureFailed("X display " + displayName_ +
                                           " offers no shared memory (MIT-SHM), which the region stream needs");
    }
    auto segment = SharedMemorySegment::create(connection_->raw(), stride_ * static_cast<uint64_t>(area_.height),
                                               SharedMemoryCalls::system());
    if (!segment) return CaptureError::captureFailed(segment.error());
    segment_ = std::make_unique<SharedMemorySegment>(std::move(segment.value()));
    frames_ = std::make_unique<RegionFrameRecycler>(area_.width, area_.height, static_cast<size_t>(stride_));
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
    // The segment is detached before its connection closes.
    segment_.reset();
    connection_.reset();
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
    xcb_connection_t* c = connection_->raw();
    auto reply = waitReply(xcb_shm_get_image_reply, c,
                           xcb_shm_get_image(c, connection_->root(), static_cast<int16_t>(area_.x),
                                             static_cast<int16_t>(area_.y), static_cast<uint16_t>(area_.width),
                                             static_cast<uint16_t>(area_.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                             segment_->serverID(), 0));
    const uint64_t bytes = stride_ * static_cast<uint64_t>(area_.height);
    if (!reply || reply->size < bytes) {
        if (connection_->isBroken()) return CaptureError::captureFailed(connection_->brokenMessage());
        return CaptureError::captureFailed("the X server stopped delivering the scrolling region");
    }
    std::memcpy(frame.bytes.data(), segment_->data(), bytes);
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
