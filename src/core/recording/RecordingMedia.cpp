#include "core/recording/RecordingMedia.h"

#include <algorithm>
#include <cstring>

namespace tessarin {

std::optional<Image> imageFromVideoFrame(const VideoFrame& frame) {
    if (!frame.isWellFormed()) return std::nullopt;
    auto image = Image::allocate(static_cast<uint32_t>(frame.width), static_cast<uint32_t>(frame.height));
    if (!image) return std::nullopt;
    for (uint32_t y = 0; y < image->height(); ++y) {
        const uint8_t* in = frame.bytes.data() + frame.bytesPerRow * y;
        uint8_t* out = image->row(y);
        for (uint32_t x = 0; x < image->width(); ++x, in += 4, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = 255;
        }
    }
    return image;
}

void padVideoFrame(const VideoFrame& frame, VideoSize size, std::vector<uint8_t>& out, size_t outBytesPerRow) {
    if (!frame.isWellFormed() || size.width < 1 || size.height < 1) return;
    const auto width = static_cast<size_t>(size.width);
    const auto height = static_cast<size_t>(size.height);
    const size_t inWidth = std::min(width, static_cast<size_t>(frame.width));
    const size_t inHeight = std::min(height, static_cast<size_t>(frame.height));
    out.resize(outBytesPerRow * height);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = frame.bytes.data() + frame.bytesPerRow * std::min(y, inHeight - 1);
        uint8_t* row = out.data() + outBytesPerRow * y;
        std::memcpy(row, in, inWidth * 4);
        for (size_t x = inWidth; x < width; ++x) std::memcpy(row + x * 4, in + (inWidth - 1) * 4, 4);
    }
}

}  // namespace tessarin
