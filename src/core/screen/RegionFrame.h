#pragma once
// The newest frame of a live region stream, as readers take it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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

}  // namespace tessarin
