#include "core/common/Image.h"

#include <cstring>

namespace tessarin {

std::optional<Image> Image::allocate(uint32_t width, uint32_t height) {
    const uint64_t pixels = uint64_t{width} * uint64_t{height};
    if (pixels == 0 || pixels > kMaxPixels) return std::nullopt;
    Image image;
    image.width_ = width;
    image.height_ = height;
    image.pixels_ = std::make_unique_for_overwrite<uint8_t[]>(pixels * 4);
    return image;
}

Image Image::clone() const {
    if (isEmpty()) return {};
    auto copy = allocate(width_, height_);
    std::memcpy(copy->data(), data(), byteCount());
    return std::move(*copy);
}

std::optional<Image> Image::cropped(uint32_t x, uint32_t y, uint32_t width, uint32_t height) const {
    if (uint64_t{x} + width > width_ || uint64_t{y} + height > height_) return std::nullopt;
    auto out = allocate(width, height);
    if (!out) return std::nullopt;
    for (uint32_t r = 0; r < height; ++r) {
        std::memcpy(out->row(r), row(y + r) + size_t{x} * 4, out->stride());
    }
    return out;
}

}  // namespace tessarin
