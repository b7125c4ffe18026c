#include "render/PngRows.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#include <sys/platform/x86.h>
#endif

namespace tessarin::pngrows {
namespace {

inline uint8_t paethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Residuals are judged as signed bytes: 255 is as good as 1.
inline uint32_t magnitude(uint8_t v) { return v < 128 ? v : 256u - v; }

struct Costs {
    uint64_t none = 0, sub = 0, up = 0, paeth = 0;
};

// Scalar costs of bytes [from, to); also stores Paeth residuals into out.
void scalarCosts(const uint8_t* cur, const uint8_t* prev, size_t from, size_t to, unsigned bpp, uint8_t* out,
                 Costs& costs) {
    for (size_t i = from; i < to; ++i) {
        const uint8_t x = cur[i];
        const uint8_t a = i >= bpp ? cur[i - bpp] : 0;
        const uint8_t b = prev[i];
        const uint8_t c = i >= bpp ? prev[i - bpp] : 0;
        const auto p = static_cast<uint8_t>(x - paethPredictor(a, b, c));
        out[i] = p;
        costs.none += magnitude(x);
        costs.sub += magnitude(static_cast<uint8_t>(x - a));
        costs.up += magnitude(static_cast<uint8_t>(x - b));
        costs.paeth += magnitude(p);
    }
}

#if defined(__SSE2__)
inline __m128i abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// Paeth predictor for 8 pixels' bytes widened to 16 bits.
inline __m128i paeth16(__m128i a, __m128i b, __m128i c) {
    const __m128i pa = abs16(_mm_sub_epi16(b, c));
    const __m128i pb = abs16(_mm_sub_epi16(a, c));
    const __m128i pc = abs16(_mm_add_epi16(_mm_sub_epi16(b, c), _mm_sub_epi16(a, c)));
    const __m128i smallest = _mm_min_epi16(pa, _mm_min_epi16(pb, pc));
    const __m128i takeA = _mm_cmpeq_epi16(pa, smallest);
    const __m128i takeB = _mm_andnot_si128(takeA, _mm_cmpeq_epi16(pb, smallest));
    const __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), _mm_set1_epi16(-1));
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)), _mm_and_si128(takeC, c));
}

inline __m128i magnitude8(__m128i v) { return _mm_min_epu8(v, _mm_sub_epi8(_mm_setzero_si128(), v)); }
inline uint64_t horizontalSum(__m128i sums) {
    return static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}

// Costs of bytes [from, end) sixteen at a time, from >= bpp; returns where
// it stopped.
size_t vectorCosts(const uint8_t* cur, const uint8_t* prev, size_t from, size_t rowBytes, unsigned bpp,
                   uint8_t* out, Costs& costs) {
    const __m128i zero = _mm_setzero_si128();
    __m128i none = zero, sub = zero, up = zero, paeth = zero;
    size_t i = from;
    for (; i + 16 <= rowBytes; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i - bpp));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i - bpp));
        const __m128i predLow = paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
        const __m128i predHigh = paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
        const __m128i p = _mm_sub_epi8(x, _mm_packus_epi16(predLow, predHigh));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), p);
        none = _mm_add_epi64(none, _mm_sad_epu8(magnitude8(x), zero));
        sub = _mm_add_epi64(sub, _mm_sad_epu8(magnitude8(_mm_sub_epi8(x, a)), zero));
        up = _mm_add_epi64(up, _mm_sad_epu8(magnitude8(_mm_sub_epi8(x, b)), zero));
        paeth = _mm_add_epi64(paeth, _mm_sad_epu8(magnitude8(p), zero));
    }
    costs.none += horizontalSum(none);
    costs.sub += horizontalSum(sub);
    costs.up += horizontalSum(up);
    costs.paeth += horizontalSum(paeth);
    return i;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define TESSARIN_PNG_AVX2 1
#define TESSARIN_AVX2 __attribute__((target("avx2")))
// The vector helpers above, 32 bytes at a time, for processors with AVX2
// (chosen at run time: the program is built for the x86-64 baseline).
TESSARIN_AVX2 inline __m256i paeth16Avx2(__m256i a, __m256i b, __m256i c) {
    const __m256i pa = _mm256_abs_epi16(_mm256_sub_epi16(b, c));
    const __m256i pb = _mm256_abs_epi16(_mm256_sub_epi16(a, c));
    const __m256i pc = _mm256_abs_epi16(_mm256_add_epi16(_mm256_sub_epi16(b, c), _mm256_sub_epi16(a, c)));
    const __m256i smallest = _mm256_min_epi16(pa, _mm256_min_epi16(pb, pc));
    const __m256i takeA = _mm256_cmpeq_epi16(pa, smallest);
    const __m256i takeB = _mm256_cmpeq_epi16(pb, smallest);
    // a where it is taken, else b where it is taken, else c.
    return _mm256_blendv_epi8(_mm256_blendv_epi8(c, b, takeB), a, takeA);
}

TESSARIN_AVX2 inline __m256i magnitudeAvx2(__m256i v) {
    return _mm256_min_epu8(v, _mm256_sub_epi8(_mm256_setzero_si256(), v));
}

TESSARIN_AVX2 inline uint64_t totalAvx2(__m256i sums) {
    const __m128i pairs = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return horizontalSum(pairs);
}

TESSARIN_AVX2 size_t vectorCostsAvx2(const uint8_t* cur, const uint8_t* prev, size_t from, size_t rowBytes,
                                     unsigned bpp, uint8_t* out, Costs& costs) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i none = zero, sub = zero, up = zero, paeth = zero;
    size_t i = from;
    for (; i + 32 <= rowBytes; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + i));
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + i - bpp));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + i));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prev + i - bpp));
        // Unpacking and packing both work within 128-bit lanes, so the
        // bytes come back in their order.
        const __m256i predLow = paeth16Avx2(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero),
                                            _mm256_unpacklo_epi8(c, zero));
        const __m256i predHigh = paeth16Avx2(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero),
                                             _mm256_unpackhi_epi8(c, zero));
        const __m256i p = _mm256_sub_epi8(x, _mm256_packus_epi16(predLow, predHigh));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), p);
        none = _mm256_add_epi64(none, _mm256_sad_epu8(magnitudeAvx2(x), zero));
        sub = _mm256_add_epi64(sub, _mm256_sad_epu8(magnitudeAvx2(_mm256_sub_epi8(x, a)), zero));
        up = _mm256_add_epi64(up, _mm256_sad_epu8(magnitudeAvx2(_mm256_sub_epi8(x, b)), zero));
        paeth = _mm256_add_epi64(paeth, _mm256_sad_epu8(magnitudeAvx2(p), zero));
    }
    costs.none += totalAvx2(none);
    costs.sub += totalAvx2(sub);
    costs.up += totalAvx2(up);
    costs.paeth += totalAvx2(paeth);
    return i;
}

// From the C library's record of the processor: GCC's own check would add a
// start-up routine running CPUID, which costs microseconds per call in a
// virtual machine, to every command.
bool hasAvx2() { return CPU_FEATURE_ACTIVE(AVX2); }
#endif

}  // namespace

bool isOpaque(const uint8_t* rgba, size_t pixels) {
    // AND every pixel together; alpha survives as 255 only if it was 255
    // everywhere. Byte-wise AND keeps this independent of endianness.
    uint32_t all = 0xFFFFFFFFu;
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t pixel;
        std::memcpy(&pixel, rgba + 4 * i, 4);
        all &= pixel;
    }
    uint8_t bytes[4];
    std::memcpy(bytes, &all, 4);
    return bytes[3] == 255;
}

void packRgb(const uint8_t* rgba, size_t pixels, uint8_t* rgb) {
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels at a time through two 64-bit words: a byte loop costs
        // as much as the filtering itself on a 4K frame.
        for (; i + 4 <= pixels; i += 4) {
            uint64_t a, b;
            std::memcpy(&a, rgba + 4 * i, 8);
            std::memcpy(&b, rgba + 4 * i + 8, 8);
            const uint64_t low = (a & 0xFFFFFFu) | ((a >> 8) & 0xFFFFFF000000u) | (b << 48);
            const auto high = static_cast<uint32_t>(((b >> 16) & 0xFFu) | ((b >> 24) & 0xFFFFFF00u));
            std::memcpy(rgb + 3 * i, &low, 8);
            std::memcpy(rgb + 3 * i + 8, &high, 4);
        }
    }
    for (; i < pixels; ++i) {
        rgb[3 * i] = rgba[4 * i];
        rgb[3 * i + 1] = rgba[4 * i + 1];
        rgb[3 * i + 2] = rgba[4 * i + 2];
    }
}

void applyFilter(Filter filter, const uint8_t* cur, const uint8_t* prev, size_t rowBytes, unsigned bpp,
                 uint8_t* out) {
    out[0] = static_cast<uint8_t>(filter);
    uint8_t* body = out + 1;
    const size_t lead = bpp < rowBytes ? bpp : rowBytes;
    switch (filter) {
        case Filter::none:
            std::memcpy(body, cur, rowBytes);
            return;
        case Filter::sub:
            std::memcpy(body, cur, lead);
            for (size_t i = bpp; i < rowBytes; ++i) body[i] = static_cast<uint8_t>(cur[i] - cur[i - bpp]);
            return;
        case Filter::up:
            if (!prev) {
                std::memcpy(body, cur, rowBytes);
                return;
            }
            for (size_t i = 0; i < rowBytes; ++i) body[i] = static_cast<uint8_t>(cur[i] - prev[i]);
            return;
        case Filter::average:
            for (size_t i = 0; i < rowBytes; ++i) {
                const unsigned a = i >= bpp ? cur[i - bpp] : 0;
                const unsigned b = prev ? prev[i] : 0;
                body[i] = static_cast<uint8_t>(cur[i] - (a + b) / 2);
            }
            return;
        case Filter::paeth:
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= bpp ? cur[i - bpp] : 0;
                const int b = prev ? prev[i] : 0;
                const int c = prev && i >= bpp ? prev[i - bpp] : 0;
                body[i] = static_cast<uint8_t>(cur[i] - paethPredictor(a, b, c));
            }
            return;
    }
}

Filter filterRow(const uint8_t* cur, const uint8_t* prev, size_t rowBytes, unsigned bpp, uint8_t* out) {
    if (!prev) {
        // Up and Paeth degenerate to None and Sub on the first row; Sub wins
        // on anything but noise, and the first row is too small to matter.
        applyFilter(Filter::sub, cur, prev, rowBytes, bpp, out);
        return Filter::sub;
    }
    uint8_t* body = out + 1;
    if (std::memcmp(cur, prev, rowBytes) == 0) {
        // A row repeating the one above (blank lines, flat areas) leaves
        // only zeros under Up, which no filter beats; None ties on an
        // all-zero row, and ties go to the simpler filter.
        const bool allZero = cur[0] == 0 && std::memcmp(cur, cur + 1, rowBytes - 1) == 0;
        out[0] = static_cast<uint8_t>(allZero ? Filter::none : Filter::up);
        std::memset(body, 0, rowBytes);
        return allZero ? Filter::none : Filter::up;
    }
    Costs costs;
    const size_t lead = bpp < rowBytes ? bpp : rowBytes;
    scalarCosts(cur, prev, 0, lead, bpp, body, costs);
    size_t done = lead;
#if defined(TESSARIN_PNG_AVX2)
    if (hasAvx2()) done = vectorCostsAvx2(cur, prev, done, rowBytes, bpp, body, costs);
#endif
#if defined(__SSE2__)
    done = vectorCosts(cur, prev, done, rowBytes, bpp, body, costs);
#endif
    scalarCosts(cur, prev, done, rowBytes, bpp, body, costs);

    // Ties go to the cheaper, simpler filter; Paeth's residuals are already in place.
    Filter best = Filter::paeth;
    uint64_t bestCost = costs.paeth;
    const auto consider = [&](Filter filter, uint64_t cost) {
        if (cost <= bestCost) {
            best = filter;
            bestCost = cost;
        }
    };
    consider(Filter::up, costs.up);
    consider(Filter::sub, costs.sub);
    consider(Filter::none, costs.none);
    if (best == Filter::paeth) {
        out[0] = static_cast<uint8_t>(Filter::paeth);
    } else {
        applyFilter(best, cur, prev, rowBytes, bpp, out);
    }
    return best;
}

}  // namespace tessarin::pngrows
