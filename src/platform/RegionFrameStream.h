#pragma once
// A live stream of one screen region: a grabber thread keeps replacing the
// newest frame, and readers take it with its sequence number. Only the
// newest frame matters, so older ones are dropped rather than queued.

#include <optional>

#include "core/screen/CaptureError.h"
#include "core/screen/RegionFrame.h"

namespace tessarin {

class RegionFrameStream {
public:
    virtual ~RegionFrameStream() = default;
    // Starts delivering frames; nothing on success.
    virtual std::optional<CaptureError> start() = 0;
    // Stops delivering; the last frame stays readable. Idempotent.
    virtual void stop() = 0;
    virtual LatestRegionFrame latest() = 0;
    // Why the stream stopped by itself (the display went away), if it did.
    virtual std::optional<CaptureError> stopError() = 0;
};

}  // namespace tessarin
