#pragma once
// Rejects alignments that the score alone would accept wrongly: an overlap
// that another, clearly different overlap matches about as well (repeated
// content), and an overlap that one vertical band of the frame (a side
// column scrolling on its own, a fixed side panel) clearly disagrees with.

#include <cstdint>
#include <vector>

#include "core/scrolling/ScrollingFrameRaster.h"

namespace tessarin {

struct ScrollingAlignmentVerifier {
    double ambiguityMargin = 1.5;
    double bandScoreLimit = 6.0;
    double bandContradictionMargin = 4.0;
    int64_t bandCount = 4;

    bool isAmbiguous(ScrollingCaptureAlignment alignment, double score, const ScrollingFrameRaster& previousFrame,
                     const ScrollingFrameRaster& currentFrame) const;
    bool bandsContradict(ScrollingCaptureAlignment alignment, const ScrollingFrameRaster& previousFrame,
                         const ScrollingFrameRaster& currentFrame) const;
    // Either of the two, in one pass over the competing overlaps.
    bool rejects(ScrollingCaptureAlignment alignment, double score, const ScrollingFrameRaster& previousFrame,
                 const ScrollingFrameRaster& currentFrame) const;
    // Overlaps in [minimumOverlap, maximumOverlap] far enough from `overlap`
    // to be a different reading of the frame, ascending.
    static std::vector<int64_t> competingOverlaps(int64_t overlap, int64_t minimumOverlap, int64_t maximumOverlap);

private:
    bool scanCompetitors(ScrollingCaptureAlignment alignment, double score, const ScrollingFrameRaster& previousFrame,
                         const ScrollingFrameRaster& currentFrame, bool checkAmbiguity, bool checkBands) const;
};

// Per-band scores of an alignment (empty when it cannot be scored). A band
// whose running score passes `scoreLimit` stops early with a value above it.
std::vector<double> bandScores(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                               ScrollingCaptureAlignment alignment, int64_t bandCount, double scoreLimit);

}  // namespace tessarin
