#include "ocr/ScreenTextImage.h"

#include <algorithm>
#include <array>
#include <cmath>

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

namespace {

// Mitchell-Netravali cubic (B = C = 1/3): smooth without ringing, and keeps
// the thin gaps between small glyphs that linear interpolation blurs shut.
double mitchell(double x) {
    x = std::abs(x);
    constexpr double B = 1.0 / 3, C = 1.0 / 3;
    if (x < 1) return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6;
    if (x < 2) return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6;
    return 0;
}

// For each of the factor output phases: the first of four source taps
// (relative to the source pixel) and their weights.
struct Phase {
    int offset;
    double weights[4];
};

std::vector<Phase> phases(uint32_t factor) {
    std::vector<Phase> result(factor);
    for (uint32_t k = 0; k < factor; ++k) {
        // Output pixel centre in source coordinates, relative to the source pixel.
        const double position = (k + 0.5) / factor - 0.5;
        const int first = int(std::floor(position)) - 1;
        double sum = 0;
        for (int t = 0; t < 4; ++t) sum += result[k].weights[t] = mitchell(position - (first + t));
        for (double& weight : result[k].weights) weight /= sum;
        result[k].offset = first;
    }
    return result;
}

uint8_t clampToByte(double value) { return static_cast<uint8_t>(std::clamp(value + 0.5, 0.0, 255.0)); }

}  // namespace

GreyImage cropped(const GreyImage& image, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    GreyImage part{width, height, std::vector<uint8_t>(size_t{width} * height)};
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* from = image.pixels.data() + size_t{y + row} * image.width + x;
        std::copy(from, from + width, part.pixels.data() + size_t{row} * width);
    }
    return part;
}

std::optional<GreyImage> upscaled(const GreyImage& image, uint32_t factor, uint64_t maxPixels) {
    if (factor == 0 || image.width == 0 || image.height == 0) return std::nullopt;
    const uint64_t width = uint64_t{image.width} * factor;
    const uint64_t height = uint64_t{image.height} * factor;
    if (width > UINT32_MAX || height > UINT32_MAX || width * height > maxPixels) return std::nullopt;
    if (factor == 1) return image;
    const auto taps = phases(factor);
    const auto clampIndex = [](int64_t i, uint32_t size) { return uint32_t(std::clamp<int64_t>(i, 0, size - 1)); };

    // Rows first (source height x output width), then columns.
    std::vector<uint8_t> wide(size_t(width) * image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        uint8_t* row = wide.data() + size_t(y) * width;
        for (uint64_t x = 0; x < width; ++x) {
            const Phase& phase = taps[x % factor];
            const int64_t source = int64_t(x / factor) + phase.offset;
            double value = 0;
            for (int t = 0; t < 4; ++t) value += phase.weights[t] * image.at(clampIndex(source + t, image.width), y);
            row[x] = clampToByte(value);
        }
    }
    GreyImage out{static_cast<uint32_t>(width), static_cast<uint32_t>(height), {}};
    out.pixels.resize(size_t(width) * height);
    for (uint64_t y = 0; y < height; ++y) {
        const Phase& phase = taps[y % factor];
        const int64_t source = int64_t(y / factor) + phase.offset;
        const uint8_t* rows[4];
        for (int t = 0; t < 4; ++t) rows[t] = wide.data() + size_t(clampIndex(source + t, image.height)) * width;
        uint8_t* row = out.pixels.data() + y * width;
        for (uint64_t x = 0; x < width; ++x) {
            double value = 0;
            for (int t = 0; t < 4; ++t) value += phase.weights[t] * rows[t][x];
            row[x] = clampToByte(value);
        }
    }
    return out;
}

bool hasOnlyBitmapText(const GreyImage& image) {
    if (image.pixels.empty()) return false;
    std::array<bool, 256> used{};
    for (const uint8_t value : image.pixels) used[value] = true;
    return std::count(used.begin(), used.end(), true) <= 16;
}

void eraseSolidBlocks(GreyImage& image) {
    const uint32_t width = image.width, height = image.height;
    const auto dark = [&](size_t i) { return image.pixels[i] < 128; };
    std::vector<bool> seen(image.pixels.size());
    std::vector<size_t> stack, part;
    for (size_t start = 0; start < image.pixels.size(); ++start) {
        if (seen[start] || !dark(start)) continue;
        // The 4-connected dark part holding `start`, and its bounds.
        uint32_t left = width, top = height, right = 0, bottom = 0;
        part.clear();
        stack.assign(1, start);
        seen[start] = true;
        while (!stack.empty()) {
            const size_t i = stack.back();
            stack.pop_back();
            part.push_back(i);
            const uint32_t x = uint32_t(i % width), y = uint32_t(i / width);
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            const auto visit = [&](size_t next) {
                if (!seen[next] && dark(next)) {
                    seen[next] = true;
                    stack.push_back(next);
                }
            };
            if (x > 0) visit(i - 1);
            if (x + 1 < width) visit(i + 1);
            if (y > 0) visit(i - width);
            if (y + 1 < height) visit(i + width);
        }
        const uint64_t blockWidth = right - left + 1, blockHeight = bottom - top + 1;
        if (blockHeight < 8 || blockWidth * 3 < blockHeight) continue;
        const bool onEdge = std::all_of(part.begin(), part.end(), [&](size_t i) {
            const uint32_t x = uint32_t(i % width), y = uint32_t(i / width);
            return x == left || x == right || y == top || y == bottom;
        });
        const bool filled = part.size() == blockWidth * blockHeight;
        const bool outline = onEdge && part.size() == 2 * (blockWidth + blockHeight) - 4;
        if (!filled && !outline) continue;
        for (const size_t i : part) image.pixels[i] = 255;
    }
}

void blur(GreyImage& image, double sigma) {
    if (sigma <= 0 || image.pixels.empty()) return;
    const int radius = int(std::ceil(sigma * 3));
    std::vector<double> kernel(size_t(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += kernel[size_t(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
    for (double& weight : kernel) weight /= sum;
    const int64_t width = image.width, height = image.height;
    // One pass along each axis; `step` is the distance between neighbours.
    const auto pass = [&](int64_t lines, int64_t length, int64_t lineStep, int64_t step) {
        std::vector<uint8_t> line(static_cast<size_t>(length));
        for (int64_t l = 0; l < lines; ++l) {
            uint8_t* first = image.pixels.data() + l * lineStep;
            for (int64_t i = 0; i < length; ++i) line[size_t(i)] = first[i * step];
            for (int64_t i = 0; i < length; ++i) {
                double value = 0;
                for (int k = -radius; k <= radius; ++k) {
                    value += kernel[size_t(k + radius)] * line[size_t(std::clamp<int64_t>(i + k, 0, length - 1))];
                }
                first[i * step] = clampToByte(value);
            }
        }
    };
    pass(height, width, width, 1);
    pass(width, height, 1, width);
}

}  // namespace tessarin::ocr
