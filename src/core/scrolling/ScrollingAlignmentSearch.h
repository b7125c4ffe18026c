#pragma once
// Where a new frame continues the previous one: the exact-row vote first,
// then a search near the last alignment, then (when allowed) a coarse
// search over every inset and overlap refined twice. The same search runs
// on the sampled signatures and, for frames it cannot place, on the
// denser ones of the retry.

#include <cstdint>
#include <optional>

#include "core/scrolling/ScrollingFrameRaster.h"

namespace tessarin {

struct AlignmentCandidate {
    ScrollingCaptureAlignment alignment;
    double score = kUnscorable;
    bool decisive = false;  // an exact-row vote the score need not confirm
};

// A candidate passes when its score is at most this.
inline constexpr double kPassingAlignmentScore = 8.0;

struct AlignmentSearchRequest {
    const ScrollingFrameRaster* previous = nullptr;
    const ScrollingRowHashIndex* previousRowHashIndex = nullptr;
    int64_t minimumAppendedRows = 0;
    std::optional<ScrollingCaptureAlignment> preferred;  // the last successful alignment
    bool allowExhaustiveSearch = true;
    // A decisive vote is taken whatever its score; otherwise it must pass.
    bool trustDecisiveVote = true;
};

std::optional<AlignmentCandidate> bestAlignmentCandidate(const AlignmentSearchRequest& request,
                                                         const ScrollingFrameRaster& current);

}  // namespace tessarin
