#include "render/annotation/MosaicKernels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessarin::MosaicKernels {
namespace {

// Grid origin along one axis: the block containing the centre is centred on it.
int64_t gridOrigin(uint32_t length, uint32_t block) {
    const int64_t start = (int64_t(length) - int64_t(block)) / 2;
    return ((start % block) + block) % block - int64_t(block);
}

// Exact division by a fixed divisor through one multiply and shift: for
// every n below 2^24, (n * multiplier) >> shift == n / divisor. Box sums
// stay far below that (255 times a window of at most a few thousand).
class Divider {
public:
    explicit Divider(uint32_t divisor) {
        uint32_t l = 0;
        while ((uint64_t{1} << l) < divisor) ++l;
        shift_ = 24 + l;
        multiplier_ = ((uint64_t{1} << shift_) + divisor - 1) / divisor;
    }
    uint32_t operator()(uint32_t n) const { return uint32_t((n * multiplier_) >> shift_); }

private:
    uint64_t multiplier_;
    uint32_t shift_;
};

// One horizontal box pass of radius r over every row, edges clamped: each
// row is copied with r edge pixels repeated on either side, then slid over.
void boxRows(const PixelView& p, uint32_t r, std::vector<uint8_t>& line) {
    if (r == 0) return;
    const size_t w = p.width;
    const uint32_t window = 2 * r + 1;
    const Divider divide(window);
    line.resize((w + 2 * size_t{r} + 1) * 4);
    for (uint32_t y = 0; y < p.height; ++y) {
        uint8_t* row = p.row(y);
        uint8_t* padded = line.data();
        for (uint32_t i = 0; i < r; ++i) std::copy(row, row + 4, padded + size_t{i} * 4);
        std::copy(row, row + w * 4, padded + size_t{r} * 4);
        for (uint32_t i = 0; i <= r; ++i) std::copy(row + (w - 1) * 4, row + w * 4, padded + (r + w + i) * 4);
        uint32_t sum[4] = {0, 0, 0, 0};
        for (uint32_t x = 0; x < window; ++x) {
            for (int c = 0; c < 4; ++c) sum[c] += padded[x * 4 + c];
        }
        const uint8_t* add = padded + size_t{window} * 4;
        const uint8_t* drop = padded;
        for (size_t x = 0; x < w; ++x, add += 4, drop += 4) {
            for (int c = 0; c < 4; ++c) {
                row[x * 4 + c] = uint8_t(divide(sum[c] + window / 2));
                sum[c] += add[c];
                sum[c] -= drop[c];
            }
        }
    }
}

// One vertical box pass of radius r: a sliding window of rows with a running
// sum per column, so memory is read row by row.
void boxColumns(const PixelView& p, uint32_t r, std::vector<uint8_t>& copy) {
    if (r == 0) return;
    const int64_t h = p.height;
    const size_t rowBytes = size_t(p.width) * 4;
    const uint32_t window = 2 * r + 1;
    const Divider divide(window);
    copy.resize(rowBytes * size_t(h));
    for (int64_t y = 0; y < h; ++y) std::copy(p.row(uint32_t(y)), p.row(uint32_t(y)) + rowBytes, copy.begin() + y * rowBytes);
    const auto row = [&](int64_t y) { return copy.data() + size_t(std::clamp<int64_t>(y, 0, h - 1)) * rowBytes; };
    std::vector<uint32_t> sums(rowBytes, 0);
    for (int64_t y = -int64_t(r); y <= int64_t(r); ++y) {
        const uint8_t* in = row(y);
        for (size_t i = 0; i < rowBytes; ++i) sums[i] += in[i];
    }
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* out = p.row(uint32_t(y));
        const uint8_t* add = row(y + r + 1);
        const uint8_t* drop = row(y - r);
        for (size_t i = 0; i < rowBytes; ++i) {
            out[i] = uint8_t(divide(sums[i] + window / 2));
            sums[i] += add[i];
            sums[i] -= drop[i];
        }
    }
}

}  // namespace

void pixelate(const ImageArea& source, uint32_t block, const PixelView& out, uint32_t outX, uint32_t outY) {
    block = std::max<uint32_t>(block, 1);
    const int64_t originX = gridOrigin(source.imageWidth, block);
    const int64_t originY = gridOrigin(source.imageHeight, block);
    const auto blockIndex = [block](int64_t coordinate, int64_t origin) { return (coordinate - origin) / block; };
    const int64_t firstRow = blockIndex(outY, originY);
    const int64_t lastRow = blockIndex(int64_t(outY) + out.height - 1, originY);
    const int64_t firstCol = blockIndex(outX, originX);
    const int64_t lastCol = blockIndex(int64_t(outX) + out.width - 1, originX);
    for (int64_t by = firstRow; by <= lastRow; ++by) {
        const int64_t y0 = std::max<int64_t>(originY + by * block, 0);
        const int64_t y1 = std::min<int64_t>(originY + (by + 1) * block, source.imageHeight);
        for (int64_t bx = firstCol; bx <= lastCol; ++bx) {
            const int64_t x0 = std::max<int64_t>(originX + bx * block, 0);
            const int64_t x1 = std::min<int64_t>(originX + (bx + 1) * block, source.imageWidth);
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int64_t y = y0; y < y1; ++y) {
                const uint8_t* px = source.pixels.row(uint32_t(y - source.y)) + (x0 - source.x) * 4;
                for (int64_t x = x0; x < x1; ++x, px += 4) {
                    sum[0] += px[0], sum[1] += px[1], sum[2] += px[2], sum[3] += px[3];
                }
            }
            const uint64_t count = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            uint8_t mean[4];
            for (int c = 0; c < 4; ++c) mean[c] = uint8_t((sum[c] + count / 2) / count);
            // Premultiplied colour never exceeds its alpha; rounding could make it.
            for (int c = 0; c < 3; ++c) mean[c] = std::min(mean[c], mean[3]);
            const int64_t oy0 = std::max<int64_t>(y0, outY) - outY;
            const int64_t oy1 = std::min<int64_t>(y1, int64_t(outY) + out.height) - outY;
            const int64_t ox0 = std::max<int64_t>(x0, outX) - outX;
            const int64_t ox1 = std::min<int64_t>(x1, int64_t(outX) + out.width) - outX;
            for (int64_t y = oy0; y < oy1; ++y) {
                uint8_t* px = out.row(uint32_t(y)) + ox0 * 4;
                for (int64_t x = ox0; x < ox1; ++x, px += 4) std::copy(mean, mean + 4, px);
            }
        }
    }
}

PixelRect blockAlignedArea(uint32_t imageWidth, uint32_t imageHeight, uint32_t block, const PixelRect& rect) {
    block = std::max<uint32_t>(block, 1);
    const int64_t originX = gridOrigin(imageWidth, block);
    const int64_t originY = gridOrigin(imageHeight, block);
    const auto down = [block](int64_t v, int64_t origin) { return origin + (v - origin) / block * block; };
    const auto up = [block](int64_t v, int64_t origin) { return origin + (v - origin + block - 1) / block * block; };
    const int64_t x0 = std::max<int64_t>(down(rect.x, originX), 0);
    const int64_t y0 = std::max<int64_t>(down(rect.y, originY), 0);
    const int64_t x1 = std::min<int64_t>(up(rect.x + rect.width, originX), imageWidth);
    const int64_t y1 = std::min<int64_t>(up(rect.y + rect.height, originY), imageHeight);
    return {x0, y0, x1 - x0, y1 - y0};
}

std::array<uint32_t, 3> boxRadii(double sigma) {
    // Box widths whose three passes have the variance of the Gaussian.
    if (!(sigma > 0)) return {0, 0, 0};
    sigma = std::min(sigma, 4096.0);
    const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int64_t lower = int64_t(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int64_t upper = lower + 2;
    const double m = std::round((12 * sigma * sigma - 3.0 * double(lower * lower) - 12.0 * double(lower) - 9) /
                                (-4.0 * double(lower) - 4));
    std::array<uint32_t, 3> radii{};
    for (int i = 0; i < 3; ++i) radii[size_t(i)] = uint32_t(((i < m ? lower : upper) - 1) / 2);
    return radii;
}

uint32_t blurReach(double sigma) {
    const auto r = boxRadii(sigma);
    return r[0] + r[1] + r[2];
}

void gaussianBlur(const PixelView& pixels, double sigma) {
    if (pixels.width == 0 || pixels.height == 0) return;
    std::vector<uint8_t> scratch;
    for (const uint32_t r : boxRadii(sigma)) boxRows(pixels, r, scratch);
    for (const uint32_t r : boxRadii(sigma)) boxColumns(pixels, r, scratch);
}

}  // namespace tessarin::MosaicKernels
