#pragma once
// A live stream of one screen region: a grabber thread keeps replacing the
// newest frame, and readers take it with its sequence number. Only the
// newest frame matters, so older ones are dropped rather than queued.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/capture/CaptureError.h"

namespace tessarin {

// One frame: 32-bit pixels in memory order B, G, R, A (or X), rows top to
// bottom, `bytesPerRow` apart.
struct RegionFrame {
    int64_t width = 0;
    int64_t height = 0;
    size_t bytesPerRow = 0;
    std::vector<uint8_t> bytes;

    const uint8_t* row(int64_t y) const { return bytes.data() + bytesPerRow * static_cast<size_t>(y); }
    // True when the byte count covers every row the sizes claim.
    bool isWellFormed() const {
        return width > 0 && height > 0 && bytesPerRow >= static_cast<size_t>(width) * 4 &&
               bytes.size() >= bytesPerRow * static_cast<size_t>(height);
    }
};

struct LatestRegionFrame {
    std::shared_ptr<const RegionFrame> frame;  // none before the first frame
    uint64_t frameID = 0;                      // +1 per delivered frame
};

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
