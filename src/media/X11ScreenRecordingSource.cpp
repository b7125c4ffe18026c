#include "media/X11ScreenRecordingSource.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "core/recording/RecordingFileWriter.h"
#include "platform/x11/ShmAreaGrabber.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::media {

namespace {

// Premultiplied ARGB over opaque BGRX.
void blendPixel(uint8_t* out, uint32_t argb) {
    const uint32_t alpha = argb >> 24;
    if (alpha == 0) return;
    const uint32_t inverse = 255 - alpha;
    out[0] = static_cast<uint8_t>((argb & 0xff) + (out[0] * inverse + 127) / 255);
    out[1] = static_cast<uint8_t>(((argb >> 8) & 0xff) + (out[1] * inverse + 127) / 255);
    out[2] = static_cast<uint8_t>(((argb >> 16) & 0xff) + (out[2] * inverse + 127) / 255);
}

}  // namespace

X11ScreenRecordingSource::X11ScreenRecordingSource(ScreenSourceSettings settings) : settings_(std::move(settings)) {}

X11ScreenRecordingSource::~X11ScreenRecordingSource() { stop(); }

void X11ScreenRecordingSource::setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) {
    onFrame_ = std::move(onFrame);
    onError_ = std::move(onError);
}

std::optional<RecordingError> X11ScreenRecordingSource::start() {
    if (worker_.running()) return std::nullopt;
    auto grabber = x11::ShmAreaGrabber::open(settings_.displayName, settings_.area);
    if (!grabber) {
        // Only a display that cannot be reached at all is "no display".
        if (!x11::X11Connection::open(settings_.displayName)) return RecordingError::noDisplay();
        return RecordingError::recordingFailed(grabber.error().description());
    }
    grabber_ = std::move(grabber.value());
    const xcb_screen_t& screen = grabber_->connection().screen();
    const PixelRect& area = settings_.area;
    if (area.x < 0 || area.y < 0 || area.x + area.width > screen.width_in_pixels ||
        area.y + area.height > screen.height_in_pixels) {
        grabber_.reset();
        return RecordingError::recordingFailed("the selection reaches outside the screen");
    }
    if (grabber_->format().bitsPerPixel != 32) {
        return RecordingError::recordingFailed("the X display's pixels are not 32 bits wide");
    }
    if (settings_.showsCursor) {
        xcb_connection_t* c = grabber_->connection().raw();
        auto version = x11::waitReply(xcb_xfixes_query_version_reply, c, xcb_xfixes_query_version(c, 4, 0));
        hasXFixes_ = version != nullptr;
    }
    pool_.clear();
    worker_.start([this] { run(); });
    return std::nullopt;
}

void X11ScreenRecordingSource::stop() {
    worker_.stop();
    grabber_.reset();
}

void X11ScreenRecordingSource::drawCursor(VideoFrame& frame) {
    xcb_connection_t* c = grabber_->connection().raw();
    auto cursor = x11::waitReply(xcb_xfixes_get_cursor_image_reply, c, xcb_xfixes_get_cursor_image(c));
    if (!cursor) return;
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
    const int64_t left = cursor->x - cursor->xhot - settings_.area.x;
    const int64_t top = cursor->y - cursor->yhot - settings_.area.y;
    for (int64_t row = 0; row < cursor->height; ++row) {
        const int64_t y = top + row;
        if (y < 0 || y >= frame.height) continue;
        for (int64_t column = 0; column < cursor->width; ++column) {
            const int64_t x = left + column;
            if (x < 0 || x >= frame.width) continue;
            blendPixel(frame.bytes.data() + frame.bytesPerRow * static_cast<size_t>(y) + static_cast<size_t>(x) * 4,
                       pixels[row * cursor->width + column]);
        }
    }
}

void X11ScreenRecordingSource::run() {
    const double rate = clampedRecordingFrameRate(settings_.frameRate);
    const auto interval = std::chrono::nanoseconds(std::llround(1e9 / rate));
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        if (std::shared_ptr<VideoFrame> frame = pool_.take(settings_.area.width, settings_.area.height,
                                                                 static_cast<size_t>(grabber_->stride()))) {
            frame->timestampNs = monotonicNanoseconds();
            if (auto error = grabber_->grab()) {
                const bool gone = grabber_->connection().isBroken();
                if (onError_) onError_(gone ? RecordingError::noDisplay() : RecordingError::recordingFailed(error->description()));
                return;
            }
            std::memcpy(frame->bytes.data(), grabber_->pixels(), frame->bytes.size());
            if (hasXFixes_) drawCursor(*frame);
            if (onFrame_) onFrame_(frame);
        } else {
            ++skipped_;
        }
        // A late frame moves the schedule on instead of bursting to catch up.
        next = std::max(next + interval, std::chrono::steady_clock::now());
        if (worker_.waitUntil(next)) return;
    }
}

}  // namespace tessarin::media
