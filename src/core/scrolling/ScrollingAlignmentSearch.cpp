#include "core/scrolling/ScrollingAlignmentSearch.h"

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

namespace tessarin {
namespace {

struct SearchBounds {
    int64_t minimumOverlap = 0;
    int64_t previousHeight = 0;
    int64_t currentHeight = 0;
    int64_t maximumInset = 0;

    SearchBounds(int64_t previous, int64_t current)
        : minimumOverlap(std::max<int64_t>(256, std::min(previous, current)) / 8),
          previousHeight(previous),
          currentHeight(current),
          maximumInset(std::min<int64_t>(current / 4, 160)) {}
};

// Lower score, then larger overlap, then smaller inset.
bool isBetter(const AlignmentCandidate& a, const AlignmentCandidate& b) {
    if (a.score != b.score) return a.score < b.score;
    if (a.alignment.overlap != b.alignment.overlap) return a.alignment.overlap > b.alignment.overlap;
    return a.alignment.leadingInset < b.alignment.leadingInset;
}

bool passes(const std::optional<AlignmentCandidate>& candidate) {
    return candidate && candidate->score <= kPassingAlignmentScore;
}

std::vector<int64_t> insetsAround(int64_t centre, int64_t radius, int64_t maximumInset) {
    std::set<int64_t> insets;
    for (int64_t i = centre - radius; i <= centre + radius; ++i) insets.insert(std::clamp<int64_t>(i, 0, maximumInset));
    return {insets.begin(), insets.end()};
}

std::optional<AlignmentCandidate> search(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                                         const SearchBounds& bounds, const std::vector<int64_t>& insets,
                                         int64_t overlapStep, const std::vector<int64_t>& centres, int64_t radius) {
    const int64_t step = std::max<int64_t>(1, overlapStep);
    std::optional<AlignmentCandidate> best;
    std::vector<int64_t> overlaps;
    for (const int64_t inset : insets) {
        const int64_t upper = std::min(bounds.previousHeight, bounds.currentHeight - inset) - 1;
        if (upper < bounds.minimumOverlap) continue;
        overlaps.clear();
        if (centres.empty()) {
            for (int64_t v = upper; v >= bounds.minimumOverlap; v -= step) overlaps.push_back(v);
        } else {
            for (const int64_t c : centres) {
                const int64_t low = std::max(c - radius, bounds.minimumOverlap);
                for (int64_t v = std::min(c + radius, upper); v >= low; v -= step) overlaps.push_back(v);
            }
            std::sort(overlaps.begin(), overlaps.end(), std::greater<>());
            overlaps.erase(std::unique(overlaps.begin(), overlaps.end()), overlaps.end());
        }
        for (const int64_t overlap : overlaps) {
            const double limit = best ? best->score : kUnscorable;
            AlignmentCandidate candidate{{inset, overlap}, previous.alignmentScore(overlap, current, inset, limit), false};
            if (!best || isBetter(candidate, *best)) best = candidate;
        }
    }
    return best;
}

std::optional<AlignmentCandidate> bestVotedDeltaCandidate(const ScrollingFrameRaster& previous,
                                                          const ScrollingFrameRaster& current,
                                                          const ScrollingRowHashIndex& previousIndex,
                                                          int64_t minimumAppendedRows, const SearchBounds& bounds) {
    const int64_t shorter = std::min(bounds.previousHeight, bounds.currentHeight);
    const auto deltas = previous.exactForwardScrollDeltas(current, minimumAppendedRows,
                                                          shorter - bounds.minimumOverlap, &previousIndex);
    if (deltas.empty()) return std::nullopt;
    auto alignmentOf = [&](const ScrollingExactScrollDelta& d) -> std::optional<ScrollingCaptureAlignment> {
        const int64_t inset = std::clamp<int64_t>(d.firstMatchedRow, 0, bounds.maximumInset);
        const int64_t overlap = bounds.currentHeight - inset - d.delta;
        if (overlap < bounds.minimumOverlap || overlap > bounds.previousHeight ||
            inset + overlap > bounds.currentHeight) {
            return std::nullopt;
        }
        return ScrollingCaptureAlignment{inset, overlap};
    };
    const int64_t runnerUp = deltas.size() > 1 ? deltas[1].votes : 0;
    if (deltas[0].votes >= 8 && deltas[0].votes >= 2 * runnerUp) {
        if (const auto alignment = alignmentOf(deltas[0])) {
            return AlignmentCandidate{
                *alignment, previous.alignmentScore(alignment->overlap, current, alignment->leadingInset, kUnscorable),
                true};
        }
    }
    std::optional<AlignmentCandidate> best;
    for (size_t k = 0; k < std::min<size_t>(8, deltas.size()); ++k) {
        const auto alignment = alignmentOf(deltas[k]);
        if (!alignment) continue;
        AlignmentCandidate candidate{
            *alignment, previous.alignmentScore(alignment->overlap, current, alignment->leadingInset, kUnscorable),
            false};
        if (!best || isBetter(candidate, *best)) best = candidate;
    }
    return best;
}

}  // namespace

std::optional<AlignmentCandidate> bestAlignmentCandidate(const AlignmentSearchRequest& request,
                                                         const ScrollingFrameRaster& current) {
    const ScrollingFrameRaster& previous = *request.previous;
    const int64_t minimumAppendedRows = request.minimumAppendedRows;
    const SearchBounds bounds(previous.height, current.height);
    auto voted = bestVotedDeltaCandidate(previous, current, *request.previousRowHashIndex, minimumAppendedRows, bounds);
    if (voted && ((voted->decisive && request.trustDecisiveVote) || passes(voted))) return voted;

    if (request.preferred) {
        const auto [insetCentre, overlapCentre] = *request.preferred;
        const int64_t radius = std::min<int64_t>(12, std::max<int64_t>(8, bounds.maximumInset));
        auto preferred = search(previous, current, bounds, insetsAround(insetCentre, radius, bounds.maximumInset), 1,
                                {overlapCentre}, std::max<int64_t>(48, 3 * minimumAppendedRows));
        if (passes(preferred)) return preferred;
    }
    if (!request.allowExhaustiveSearch) return std::nullopt;

    const int64_t shorter = std::min(previous.height, current.height);
    const int64_t insetStep = current.height >= 100 ? 4 : 2;
    const int64_t overlapStep = shorter >= 576 ? shorter / 64 : 8;
    std::set<int64_t> coarseInsets{0};
    for (int64_t i = insetStep; i <= bounds.maximumInset; i += insetStep) coarseInsets.insert(i);
    const auto coarse =
        search(previous, current, bounds, {coarseInsets.begin(), coarseInsets.end()}, overlapStep, {}, 0);
    if (!coarse) return std::nullopt;
    for (const int64_t widening : {int64_t{1}, int64_t{2}}) {
        auto refined = search(previous, current, bounds,
                              insetsAround(coarse->alignment.leadingInset, 8 * widening, bounds.maximumInset), 1,
                              {coarse->alignment.overlap}, 3 * widening * std::max<int64_t>(8, overlapStep));
        if (passes(refined)) return refined;
    }
    return std::nullopt;
}

}  // namespace tessarin
