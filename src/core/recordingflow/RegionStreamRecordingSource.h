#pragma once
// The recorder's screen source over any region stream (on Wayland the
// ScreenCast portal's): a thread ticks at the recording's frame rate and
// hands the writer a copy of the stream's newest frame, stamped with the
// monotonic clock of the tick. The stream keeps its own pace, so a tick
// may see the same frame again (repeated) or find that frames went by
// unseen (missed); a tick whose every pool frame is still with the writer
// is skipped rather than queued. The counts are kept for the benchmark.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/common/PacedThread.h"
#include "core/recording/RecordingMedia.h"
#include "platform/RegionFrameStream.h"

namespace tessarin {

struct StreamRecordingCounts {
    int64_t delivered = 0;  // frames handed to the writer
    int64_t repeated = 0;   // ticks that found no newer stream frame
    int64_t missed = 0;     // stream frames no tick took
    int64_t skipped = 0;    // ticks with every pool frame busy
};

// A stream's failure as the recorder reports it.
RecordingError recordingErrorOf(const CaptureError& error);

class RegionStreamRecordingSource final : public ScreenRecordingSource {
public:
    RegionStreamRecordingSource(std::unique_ptr<RegionFrameStream> stream, double frameRate);
    ~RegionStreamRecordingSource() override;

    void setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) override;
    std::optional<RecordingError> start() override;
    void stop() override;

    StreamRecordingCounts counts() const;

private:
    void run();

    std::unique_ptr<RegionFrameStream> stream_;
    double frameRate_;
    FrameHandler onFrame_;
    RecordingErrorHandler onError_;
    VideoFramePool pool_;
    std::atomic<int64_t> delivered_{0}, repeated_{0}, missed_{0}, skipped_{0};

    PacedThread worker_;
};

}  // namespace tessarin
