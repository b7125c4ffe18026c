#include "render/annotation/AnnotationPixelator.h"

#include <algorithm>
#include <vector>

namespace tessarin::AnnotationPixelator {

CairoSurfacePtr pixelatedImage(const PixelView& source, uint32_t pixelBlockSize) {
    const uint32_t block = std::max<uint32_t>(pixelBlockSize, 1);
    const uint32_t W = source.width;
    const uint32_t H = source.height;
    CairoSurfacePtr result = makeSurface(W, H);
    if (!result) return nullptr;
    const uint32_t smallW = std::max<uint32_t>(1, W / block);
    const uint32_t smallH = std::max<uint32_t>(1, H / block);
    // Small pixel i covers source columns [i * W / smallW, (i + 1) * W / smallW),
    // the same span nearest-neighbour enlarging maps back onto it.
    const auto span = [](uint32_t i, uint32_t large, uint32_t small) {
        return std::pair<uint64_t, uint64_t>{uint64_t(i) * large / small, uint64_t(i + 1) * large / small};
    };
    const PixelView out = viewOf(result.get());
    for (uint32_t sy = 0; sy < smallH; ++sy) {
        const auto [y0, y1] = span(sy, H, smallH);
        for (uint32_t sx = 0; sx < smallW; ++sx) {
            const auto [x0, x1] = span(sx, W, smallW);
            uint64_t sum[4] = {0, 0, 0, 0};
            for (uint64_t y = y0; y < y1; ++y) {
                const uint8_t* px = source.row(uint32_t(y)) + x0 * 4;
                for (uint64_t x = x0; x < x1; ++x, px += 4) {
                    for (int c = 0; c < 4; ++c) sum[c] += px[c];
                }
            }
            const uint64_t count = (y1 - y0) * (x1 - x0);
            uint8_t mean[4];
            for (int c = 0; c < 4; ++c) mean[c] = uint8_t((sum[c] + count / 2) / count);
            for (int c = 0; c < 3; ++c) mean[c] = std::min(mean[c], mean[3]);
            for (uint64_t y = y0; y < y1; ++y) {
                uint8_t* px = out.row(uint32_t(y)) + x0 * 4;
                for (uint64_t x = x0; x < x1; ++x, px += 4) std::copy(mean, mean + 4, px);
            }
        }
    }
    cairo_surface_mark_dirty(result.get());
    return result;
}

}  // namespace tessarin::AnnotationPixelator
