#include "core/scrolling/ScrollingAlignmentVerifier.h"

#include <algorithm>
#include <cstdlib>

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

bool ScrollingAlignmentVerifier::isAmbiguous(ScrollingCaptureAlignment alignment, double score,
                                             const ScrollingFrameRaster& previousFrame,
                                             const ScrollingFrameRaster& currentFrame) const {
    const auto range = competitorRange(previousFrame, currentFrame, alignment.leadingInset);
    if (range.minimum >= range.maximum) return false;
    const auto competitors = competingOverlaps(alignment.overlap, range.minimum, range.maximum);
    if (competitors.empty()) return false;
    const double limit = score + ambiguityMargin;
    for (const int64_t v : competitors) {
        // Any competitor within the margin decides; no need to find the lowest.
        if (previousFrame.alignmentScore(v, currentFrame, alignment.leadingInset, limit) <= limit) return true;
    }
    return false;
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

bool ScrollingAlignmentVerifier::bandsContradict(ScrollingCaptureAlignment alignment,
                                                 const ScrollingFrameRaster& previousFrame,
                                                 const ScrollingFrameRaster& currentFrame) const {
    const auto chosen = bandScores(previousFrame, currentFrame, alignment, bandCount, kUnscorable);
    const auto bands = static_cast<size_t>(std::max<int64_t>(1, std::min(bandCount, previousFrame.signatureLength / 3)));
    if (chosen.size() < bands) return false;
    const auto range = competitorRange(previousFrame, currentFrame, alignment.leadingInset);
    if (range.minimum >= range.maximum) return false;
    const auto competitors = competingOverlaps(alignment.overlap, range.minimum, range.maximum);
    if (competitors.empty()) return false;
    std::vector<double> best(bands, kUnscorable);
    for (const int64_t v : competitors) {
        const auto scores =
            bandScores(previousFrame, currentFrame, {alignment.leadingInset, v}, bandCount, bandScoreLimit);
        if (scores.size() < bands) continue;
        for (size_t b = 0; b < bands; ++b) best[b] = std::min(best[b], scores[b]);
    }
    for (size_t b = 0; b < bands; ++b) {
        if (best[b] <= bandScoreLimit && best[b] + bandContradictionMargin < chosen[b]) return true;
    }
    return false;
}

}  // namespace tessarin
