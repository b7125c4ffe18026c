#include "core/scrolling/ScrollingAlignmentVerifier.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessarin {
namespace {

struct OverlapRange {
    int64_t minimum = 0;
    int64_t maximum = 0;
};

OverlapRange competitorRange(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                             int64_t leadingInset) {
    const int64_t shorter = std::min(previous.height, current.height);
    return {shorter < 256 ? 32 : shorter / 8, std::min(previous.height, current.height - leadingInset) - 1};
}

// Each band's sum of absolute differences between two signature rows. With
// SSE2 the row is read 16 bytes at a time and every band sums its bytes of
// each block through a mask; the sums are the same as byte by byte.
class BandDifferences {
public:
    struct Band {
        int64_t begin = 0;
        int64_t length = 0;
    };

    BandDifferences(const std::vector<Band>& bands, int64_t rowLength) : bands_(bands) {
#if defined(__SSE2__)
        blocks_ = rowLength / 16;
        for (size_t b = 0; b < bands.size(); ++b) {
            for (int64_t block = 0; block < blocks_; ++block) {
                alignas(16) uint8_t mask[16];
                bool any = false;
                for (int64_t i = 0; i < 16; ++i) {
                    const int64_t at = block * 16 + i;
                    const bool inside = at >= bands[b].begin && at < bands[b].begin + bands[b].length;
                    mask[i] = inside ? 0xff : 0;
                    any = any || inside;
                }
                if (any) masks_.push_back({b, block, _mm_load_si128(reinterpret_cast<const __m128i*>(mask))});
            }
        }
#else
        (void)rowLength;
#endif
    }

    // `sums` has one entry per band.
    void compute(const uint8_t* a, const uint8_t* c, int64_t* sums) const {
        for (size_t b = 0; b < bands_.size(); ++b) sums[b] = 0;
        int64_t tail = 0;
#if defined(__SSE2__)
        __m128i differences[8];
        const int64_t blocks = std::min<int64_t>(blocks_, 8);
        for (int64_t block = 0; block < blocks; ++block) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + block * 16));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + block * 16));
            differences[block] = _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
        }
        for (const auto& m : masks_) {
            if (m.block >= blocks) continue;
            const __m128i total = _mm_sad_epu8(_mm_and_si128(differences[m.block], m.mask), _mm_setzero_si128());
            sums[m.band] += _mm_cvtsi128_si64(total) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total));
        }
        tail = blocks * 16;
#endif
        for (size_t b = 0; b < bands_.size(); ++b) {
            const int64_t begin = std::max(bands_[b].begin, tail);
            for (int64_t i = begin; i < bands_[b].begin + bands_[b].length; ++i) {
                sums[b] += std::abs(int(a[i]) - int(c[i]));
            }
        }
    }

private:
    std::vector<Band> bands_;
#if defined(__SSE2__)
    struct Mask {
        size_t band = 0;
        int64_t block = 0;
        __m128i mask;
    };
    int64_t blocks_ = 0;
    std::vector<Mask> masks_;
#endif
};

}  // namespace

std::vector<int64_t> ScrollingAlignmentVerifier::competingOverlaps(int64_t overlap, int64_t minimumOverlap,
                                                                   int64_t maximumOverlap) {
    if (maximumOverlap - minimumOverlap <= 0) return {};
    const int64_t separation = std::max<int64_t>(192, maximumOverlap - minimumOverlap) / 8;
    std::vector<int64_t> result;
    for (int64_t v = minimumOverlap; v <= maximumOverlap; ++v) {
        if (std::abs(v - overlap) >= separation) result.push_back(v);
    }
    return result;
}

std::vector<double> bandScores(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                               ScrollingCaptureAlignment alignment, int64_t bandCount, double scoreLimit) {
    const auto sampling = RowSampling::make(previous, current, alignment);
    if (!sampling) return {};
    const int64_t columns = previous.signatureLength / 3;
    const int64_t bands = std::max<int64_t>(1, std::min(bandCount, columns));
    struct Band {
        int64_t begin = 0;
        int64_t length = 0;
        int64_t total = 0;
        int64_t worst = 0;
        bool stopped = false;
    };
    std::vector<Band> state(static_cast<size_t>(bands));
    for (int64_t b = 0; b < bands; ++b) {
        const int64_t first = b * columns / bands;
        const int64_t last = (b + 1) * columns / bands;
        state[static_cast<size_t>(b)].begin = first * 3;
        state[static_cast<size_t>(b)].length = (last - first) * 3;
    }
    int64_t running = bands;
    for (int64_t k = 0; k < sampling->samples && running > 0; ++k) {
        const int64_t row = sampling->previousRow(k);
        const uint8_t* a = previous.signature(row);
        const uint8_t* c = current.signature(row + sampling->rowOffset);
        for (auto& band : state) {
            if (band.stopped) continue;
            int64_t sum = 0;
            for (int64_t i = band.begin; i < band.begin + band.length; ++i) sum += std::abs(int(a[i]) - int(c[i]));
            band.total += sum;
            band.worst = std::max(band.worst, sum);
            const int64_t denominator = (sampling->samples - 1) * band.length;
            if (denominator > 0 && double(band.total - band.worst) > scoreLimit * double(denominator)) {
                band.stopped = true;
                --running;
            }
        }
    }
    std::vector<double> scores;
    for (const auto& band : state) {
        const int64_t denominator = (sampling->samples - 1) * band.length;
        scores.push_back(denominator == 0 ? kUnscorable : double(band.total - band.worst) / double(denominator));
    }
    return scores;
}

bool ScrollingAlignmentVerifier::isAmbiguous(ScrollingCaptureAlignment alignment, double score,
                                             const ScrollingFrameRaster& previousFrame,
                                             const ScrollingFrameRaster& currentFrame) const {
    return scanCompetitors(alignment, score, previousFrame, currentFrame, true, false);
}

bool ScrollingAlignmentVerifier::bandsContradict(ScrollingCaptureAlignment alignment,
                                                 const ScrollingFrameRaster& previousFrame,
                                                 const ScrollingFrameRaster& currentFrame) const {
    return scanCompetitors(alignment, kUnscorable, previousFrame, currentFrame, false, true);
}

bool ScrollingAlignmentVerifier::rejects(ScrollingCaptureAlignment alignment, double score,
                                         const ScrollingFrameRaster& previousFrame,
                                         const ScrollingFrameRaster& currentFrame) const {
    return scanCompetitors(alignment, score, previousFrame, currentFrame, true, true);
}

// Both checks score the same competing overlaps on the same sampled rows, so
// one pass computes each row's band sums once and serves both: the whole-row
// score is the sum of the bands, and each running score stops on its own
// limit exactly as alignmentScore() and bandScores() would.
bool ScrollingAlignmentVerifier::scanCompetitors(ScrollingCaptureAlignment alignment, double score,
                                                 const ScrollingFrameRaster& previousFrame,
                                                 const ScrollingFrameRaster& currentFrame, bool checkAmbiguity,
                                                 bool checkBands) const {
    const auto range = competitorRange(previousFrame, currentFrame, alignment.leadingInset);
    if (range.minimum >= range.maximum) return false;
    const auto competitors = competingOverlaps(alignment.overlap, range.minimum, range.maximum);
    if (competitors.empty()) return false;

    const int64_t length = previousFrame.signatureLength;
    const int64_t columns = length / 3;
    const auto bands = static_cast<size_t>(std::max<int64_t>(1, std::min(bandCount, columns)));
    std::vector<double> chosen;
    if (checkBands) {
        chosen = bandScores(previousFrame, currentFrame, alignment, bandCount, kUnscorable);
        checkBands = chosen.size() >= bands;
    }
    if (!checkAmbiguity && !checkBands) return false;

    struct Running {
        int64_t begin = 0;
        int64_t length = 0;
        int64_t total = 0;
        int64_t worst = 0;
        int64_t sum = 0;  // of the current row
        bool stopped = false;
    };
    std::vector<Running> band(bands);
    for (size_t b = 0; b < bands; ++b) {
        const auto first = int64_t(b) * columns / int64_t(bands);
        const auto last = int64_t(b + 1) * columns / int64_t(bands);
        band[b].begin = first * 3;
        band[b].length = (last - first) * 3;
    }
    std::vector<BandDifferences::Band> layout;
    for (const auto& b : band) layout.push_back({b.begin, b.length});
    const BandDifferences differences(layout, length);
    std::vector<int64_t> rowSums(bands);
    std::vector<double> best(bands, kUnscorable);
    const double ambiguityLimit = score + ambiguityMargin;

    for (const int64_t v : competitors) {
        const auto sampling = RowSampling::make(previousFrame, currentFrame, {alignment.leadingInset, v});
        if (!sampling) {
            // Unscorable: kUnscorable still passes a limit that is itself unscorable.
            if (checkAmbiguity && kUnscorable <= ambiguityLimit) return true;
            continue;
        }
        const int64_t denominator = (sampling->samples - 1) * length;
        Running whole{0, length, 0, 0, 0, !checkAmbiguity || denominator < 1};
        const double wholeLimit = ambiguityLimit * double(denominator);
        int64_t running = whole.stopped ? 0 : 1;
        for (auto& b : band) {
            b.total = b.worst = 0;
            b.stopped = !checkBands;
            if (checkBands) ++running;
        }
        for (int64_t k = 0; k < sampling->samples && running > 0; ++k) {
            const int64_t row = sampling->previousRow(k);
            const uint8_t* a = previousFrame.signature(row);
            const uint8_t* c = currentFrame.signature(row + sampling->rowOffset);
            differences.compute(a, c, rowSums.data());
            whole.sum = 0;
            for (size_t b = 0; b < bands; ++b) {
                band[b].sum = rowSums[b];
                whole.sum += rowSums[b];
            }
            if (!whole.stopped) {
                whole.total += whole.sum;
                whole.worst = std::max(whole.worst, whole.sum);
                if (double(whole.total - whole.worst) > wholeLimit) {
                    whole.stopped = true;
                    --running;
                }
            }
            for (auto& b : band) {
                if (b.stopped) continue;
                b.total += b.sum;
                b.worst = std::max(b.worst, b.sum);
                const int64_t bandDenominator = (sampling->samples - 1) * b.length;
                if (bandDenominator > 0 && double(b.total - b.worst) > bandScoreLimit * double(bandDenominator)) {
                    b.stopped = true;
                    --running;
                }
            }
        }
        if (checkAmbiguity) {
            const double wholeScore =
                denominator < 1 ? kUnscorable : double(whole.total - whole.worst) / double(denominator);
            // Any competitor within the margin decides; no need to find the lowest.
            if (wholeScore <= ambiguityLimit) return true;
        }
        if (!checkBands) continue;
        for (size_t b = 0; b < bands; ++b) {
            const int64_t bandDenominator = (sampling->samples - 1) * band[b].length;
            const double bandScore = bandDenominator == 0 ? kUnscorable
                                                          : double(band[b].total - band[b].worst) / double(bandDenominator);
            best[b] = std::min(best[b], bandScore);
        }
    }
    if (!checkBands) return false;
    for (size_t b = 0; b < bands; ++b) {
        if (best[b] <= bandScoreLimit && best[b] + bandContradictionMargin < chosen[b]) return true;
    }
    return false;
}

}  // namespace tessarin
