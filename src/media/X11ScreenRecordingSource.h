#pragma once
// The recorder's screen source on X11: the selected area grabbed through
// MIT-SHM (ShmAreaGrabber, shared with the scrolling region stream) on its
// own connection and thread at the frame rate, each frame stamped with the
// monotonic clock when its grab was asked for, the pointer drawn in from
// XFixes when the cursor is shown.
//
// Frames come from a small pool: a frame is reused once the writer let go
// of it, and when every frame is still held (the writer is behind) the tick
// is skipped rather than queued.

#include <atomic>
#include <memory>
#include <vector>

#include "core/common/PacedThread.h"
#include "core/recording/MediaEngine.h"

namespace tessarin::x11 {
class ShmAreaGrabber;
}

namespace tessarin::media {

class X11ScreenRecordingSource final : public ScreenRecordingSource {
public:
    explicit X11ScreenRecordingSource(ScreenSourceSettings settings);
    ~X11ScreenRecordingSource() override;

    void setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) override;
    std::optional<RecordingError> start() override;
    void stop() override;

    int64_t skippedTicks() const { return skipped_; }

private:
    void run();
    void drawCursor(VideoFrame& frame);

    ScreenSourceSettings settings_;
    FrameHandler onFrame_;
    RecordingErrorHandler onError_;
    std::unique_ptr<x11::ShmAreaGrabber> grabber_;
    bool hasXFixes_ = false;
    VideoFramePool pool_;
    std::atomic<int64_t> skipped_{0};

    PacedThread worker_;
};

}  // namespace tessarin::media
