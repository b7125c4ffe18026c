#include "ocr/ScreenTextImage.h"

#include <algorithm>
#include <array>

namespace tessarin::ocr {

GreyImage greyscale(const Image& image) {
    GreyImage grey{image.width(), image.height(), {}};
    grey.pixels.resize(size_t{image.width()} * image.height());
    uint8_t* out = grey.pixels.data();
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* p = image.row(y);
        for (uint32_t x = 0; x < image.width(); ++x, p += 4) {
            // Fixed-point 0.299 R + 0.587 G + 0.114 B, then over white by alpha.
            const uint32_t luma = (77u * p[0] + 150u * p[1] + 29u * p[2] + 128u) >> 8;
            const uint32_t alpha = p[3];
            *out++ = static_cast<uint8_t>((luma * alpha + 255u * (255u - alpha) + 127u) / 255u);
        }
    }
    return grey;
}

bool hasDarkBackground(const GreyImage& image) {
    if (image.pixels.empty()) return false;
    std::array<uint64_t, 256> histogram{};
    for (const uint8_t value : image.pixels) ++histogram[value];
    uint64_t belowMiddle = 0;
    for (size_t value = 0; value < 128; ++value) belowMiddle += histogram[value];
    return belowMiddle * 2 > image.pixels.size();
}

void invert(GreyImage& image) {
    for (uint8_t& value : image.pixels) value = static_cast<uint8_t>(255 - value);
}

GreyImage darkTextOnLight(const Image& image) {
    GreyImage grey = greyscale(image);
    if (hasDarkBackground(grey)) invert(grey);
    return grey;
}

}  // namespace tessarin::ocr

namespace tessarin::ocr {

std::optional<GreyImage> upscaled(const GreyImage& image, uint32_t factor, uint64_t maxPixels) {
    if (factor == 0) return std::nullopt;
    const uint64_t width = uint64_t{image.width} * factor;
    const uint64_t height = uint64_t{image.height} * factor;
    if (width > UINT32_MAX || height > UINT32_MAX || width * height > maxPixels) return std::nullopt;
    if (factor == 1) return image;
    GreyImage out{static_cast<uint32_t>(width), static_cast<uint32_t>(height), {}};
    out.pixels.resize(width * height);
    // Source coordinate of output pixel i along one axis, in 1/(2 factor)
    // steps: (2i + 1 - factor) / (2 factor), clamped to the image.
    const auto sample = [factor](uint64_t i, uint32_t size, uint32_t& low, uint32_t& weight) {
        const int64_t twice = int64_t(2 * i + 1) - int64_t(factor);
        if (twice <= 0) {
            low = 0;
            weight = 0;
            return;
        }
        const uint64_t scaled = uint64_t(twice) * 128 / factor;  // position * 256
        low = static_cast<uint32_t>(std::min<uint64_t>(scaled >> 8, size - 1));
        weight = low + 1 < size ? static_cast<uint32_t>(scaled & 0xff) : 0;
    };
    for (uint64_t y = 0; y < height; ++y) {
        uint32_t y0 = 0, wy = 0;
        sample(y, image.height, y0, wy);
        const uint32_t y1 = wy ? y0 + 1 : y0;
        uint8_t* row = out.pixels.data() + y * width;
        for (uint64_t x = 0; x < width; ++x) {
            uint32_t x0 = 0, wx = 0;
            sample(x, image.width, x0, wx);
            const uint32_t x1 = wx ? x0 + 1 : x0;
            const uint32_t top = image.at(x0, y0) * (256 - wx) + image.at(x1, y0) * wx;
            const uint32_t bottom = image.at(x0, y1) * (256 - wx) + image.at(x1, y1) * wx;
            row[x] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + (1u << 15)) >> 16);
        }
    }
    return out;
}

}  // namespace tessarin::ocr
