#include "core/common/PixelRows.h"

#include <bit>
#include <cstring>

namespace tessarin {

// Whole pixels as 32-bit words (B,G,R,X in memory on a little-endian host):
// R and B trade places, alpha becomes opaque. Four pixels at a time as one
// vector, which needs no particular instruction set.
void bgrxRowToOpaqueRgba(const uint8_t* __restrict source, uint8_t* __restrict target, size_t pixels) {
    static_assert(std::endian::native == std::endian::little);
    using Pixels4 = uint32_t __attribute__((vector_size(16)));
    size_t x = 0;
    for (; x + 4 <= pixels; x += 4) {
        Pixels4 p;
        std::memcpy(&p, source + x * 4, sizeof p);
        p = (p & 0x0000ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16) | 0xff000000u;
        std::memcpy(target + x * 4, &p, sizeof p);
    }
    for (; x < pixels; ++x) {
        uint32_t p;
        std::memcpy(&p, source + x * 4, 4);
        p = (p & 0x0000ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16) | 0xff000000u;
        std::memcpy(target + x * 4, &p, 4);
    }
}

}  // namespace tessarin
