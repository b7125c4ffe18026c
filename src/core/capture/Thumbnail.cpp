#include "core/capture/Thumbnail.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessarin {
namespace {

// For one output sample along an axis: the first source sample it covers
// and the weight of each covered source sample (summing to 1).
struct Span {
    uint32_t first = 0;
    std::vector<float> weights;
};

std::vector<Span> areaSpans(uint32_t source, uint32_t target) {
    std::vector<Span> spans(target);
    const double step = double(source) / target;
    for (uint32_t i = 0; i < target; ++i) {
        const double start = i * step;
        const double end = std::min(double(source), (i + 1) * step);
        Span& span = spans[i];
        span.first = static_cast<uint32_t>(start);
        const uint32_t last = std::min(source - 1, static_cast<uint32_t>(std::ceil(end)) - 1);
        for (uint32_t s = span.first; s <= last; ++s) {
            const double covered = std::min(end, s + 1.0) - std::max(start, double(s));
            span.weights.push_back(static_cast<float>(std::max(0.0, covered) / step));
        }
    }
    return spans;
}

}  // namespace

ThumbnailSize thumbnailSize(ThumbnailSize image, ThumbnailSize bounds) {
    if (image.width == 0 || image.height == 0) return {};
    const double scale = std::min({double(bounds.width) / image.width, double(bounds.height) / image.height, 1.0});
    const auto side = [scale](uint32_t length) {
        return std::max<uint32_t>(1, static_cast<uint32_t>(std::floor(length * scale)));
    };
    return {side(image.width), side(image.height)};
}

std::optional<Image> makeThumbnail(const Image& image, ThumbnailSize bounds) {
    const ThumbnailSize size = thumbnailSize({image.width(), image.height()}, bounds);
    if (size.width == 0) return std::nullopt;
    auto out = Image::allocate(size.width, size.height);
    if (!out) return std::nullopt;
    if (size.width == image.width() && size.height == image.height()) {
        std::copy(image.bytes().begin(), image.bytes().end(), out->data());
        return out;
    }
    const std::vector<Span> columns = areaSpans(image.width(), size.width);
    const std::vector<Span> rows = areaSpans(image.height(), size.height);

    // Horizontal pass into premultiplied floats, one row of output width per
    // source row; then the vertical pass reads the rows each output row covers.
    std::vector<float> narrow(size_t{size.width} * 4 * image.height());
    for (uint32_t y = 0; y < image.height(); ++y) {
        const uint8_t* src = image.row(y);
        float* dst = narrow.data() + size_t{size.width} * 4 * y;
        for (uint32_t x = 0; x < size.width; ++x) {
            float r = 0, g = 0, b = 0, a = 0;
            const Span& span = columns[x];
            const uint8_t* p = src + size_t{span.first} * 4;
            for (float w : span.weights) {
                const float alpha = p[3] * w;
                r += p[0] * alpha;
                g += p[1] * alpha;
                b += p[2] * alpha;
                a += alpha;
                p += 4;
            }
            dst[4 * x + 0] = r;
            dst[4 * x + 1] = g;
            dst[4 * x + 2] = b;
            dst[4 * x + 3] = a;
        }
    }
    std::vector<float> sum(size_t{size.width} * 4);
    for (uint32_t y = 0; y < size.height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const Span& span = rows[y];
        for (size_t k = 0; k < span.weights.size(); ++k) {
            const float w = span.weights[k];
            const float* src = narrow.data() + size_t{size.width} * 4 * (span.first + k);
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += src[i] * w;
        }
        uint8_t* dst = out->row(y);
        for (uint32_t x = 0; x < size.width; ++x) {
            const float a = sum[4 * x + 3];
            const auto channel = [a](float premultiplied) {
                return static_cast<uint8_t>(std::clamp(std::lround(premultiplied / a), 0L, 255L));
            };
            if (a <= 0.0f) {
                dst[4 * x + 0] = dst[4 * x + 1] = dst[4 * x + 2] = dst[4 * x + 3] = 0;
                continue;
            }
            dst[4 * x + 0] = channel(sum[4 * x + 0]);
            dst[4 * x + 1] = channel(sum[4 * x + 1]);
            dst[4 * x + 2] = channel(sum[4 * x + 2]);
            dst[4 * x + 3] = static_cast<uint8_t>(std::clamp(std::lround(a), 0L, 255L));
        }
    }
    return out;
}

}  // namespace tessarin
