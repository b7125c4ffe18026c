#include "core/scrolling/ScrollingCaptureComposer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

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
    return candidate && candidate->score <= ScrollingCaptureComposer::kPassingScore;
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

// Nearest-neighbour scaling of the stacked slices; `scale` at most 1.
Expected<Image, CaptureError> renderScaled(const std::vector<Image>& slices, int64_t width, int64_t totalHeight,
                                           double scale) {
    const auto outWidth = std::max<int64_t>(1, std::llround(double(width) * scale));
    const auto outHeight = std::max<int64_t>(1, std::llround(double(totalHeight) * scale));
    if (outWidth > width || outHeight > totalHeight) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    }
    auto image = Image::allocate(static_cast<uint32_t>(outWidth), static_cast<uint32_t>(outHeight));
    if (!image) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    std::vector<int64_t> columns(static_cast<size_t>(outWidth));
    for (int64_t x = 0; x < outWidth; ++x) {
        columns[static_cast<size_t>(x)] = std::min<int64_t>(width - 1, int64_t((double(x) + 0.5) * double(width) / double(outWidth)));
    }
    size_t slice = 0;
    int64_t sliceTop = 0;
    for (int64_t y = 0; y < outHeight; ++y) {
        const int64_t source = std::min<int64_t>(totalHeight - 1, int64_t((double(y) + 0.5) * double(totalHeight) / double(outHeight)));
        while (source >= sliceTop + slices[slice].height()) sliceTop += slices[slice++].height();
        const uint8_t* row = slices[slice].row(static_cast<uint32_t>(source - sliceTop));
        uint8_t* target = image->row(static_cast<uint32_t>(y));
        for (const int64_t x : columns) {
            std::memcpy(target, row + x * 4, 4);
            target += 4;
        }
    }
    return std::move(*image);
}

}  // namespace

Expected<Image, CaptureError> mergeSlices(std::vector<Image>& parts) {
    if (parts.empty()) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    uint64_t height = 0;
    const uint32_t width = parts.front().width();
    for (const auto& part : parts) {
        if (part.isEmpty() || part.width() != width) {
            return unexpected(CaptureError::captureFailed(ScrollingMessages::sliceReadFailed));
        }
        height += part.height();
    }
    if (height > UINT32_MAX) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    auto merged = Image::allocate(width, static_cast<uint32_t>(height));
    if (!merged) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    uint8_t* target = merged->data();
    for (auto& part : parts) {
        std::memcpy(target, part.data(), part.byteCount());
        target += part.byteCount();
        part = Image();
    }
    parts.clear();
    return std::move(*merged);
}

Expected<ScrollingCaptureComposer, CaptureError> ScrollingCaptureComposer::make(const ScrollingFrameRaster& firstRaster,
                                                                                int64_t minimumAppendedRows) {
    auto first = firstRaster.makeImage(0);
    if (!first) return unexpected(first.error());
    ScrollingCaptureComposer composer;
    composer.minimumAppendedRows_ = minimumAppendedRows;
    composer.width_ = firstRaster.width;
    composer.bytesPerRow_ = firstRaster.bytesPerRow;
    const int64_t widest = int64_t(Image::kMaxPixels) / firstRaster.width - firstRaster.height + 1;
    composer.rowLimit_ = std::max<int64_t>(1, std::min(kMaximumRows, widest));
    composer.slices_.push_back(std::move(*first));
    composer.totalHeight_ = firstRaster.height;
    composer.segmentCount_ = 1;
    composer.previousFrame_ = firstRaster.releasingSource();
    composer.previousFrameRowHashIndex_ = composer.previousFrame_.makeRowHashIndex();
    return composer;
}

std::optional<AlignmentCandidate> ScrollingCaptureComposer::bestAlignmentCandidate(const ScrollingFrameRaster& current,
                                                                                   bool allowExhaustiveSearch) const {
    const ScrollingFrameRaster& previous = previousFrame_;
    const SearchBounds bounds(previous.height, current.height);
    auto voted = bestVotedDeltaCandidate(previous, current, previousFrameRowHashIndex_, minimumAppendedRows_, bounds);
    if (voted && (voted->decisive || passes(voted))) return voted;

    if (previousSuccessfulAlignment_) {
        const auto [insetCentre, overlapCentre] = *previousSuccessfulAlignment_;
        const int64_t radius = std::min<int64_t>(12, std::max<int64_t>(8, bounds.maximumInset));
        auto preferred = search(previous, current, bounds, insetsAround(insetCentre, radius, bounds.maximumInset), 1,
                                {overlapCentre}, std::max<int64_t>(48, 3 * minimumAppendedRows_));
        if (passes(preferred)) return preferred;
    }
    if (!allowExhaustiveSearch) return std::nullopt;

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

Expected<ScrollingCaptureFrameDisposition, CaptureError> ScrollingCaptureComposer::appendDisposition(
    const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows) {
    if (raster.width != width_) return ScrollingCaptureFrameDisposition::ignored();
    if (totalHeight_ >= rowLimit_) return ScrollingCaptureFrameDisposition::reachedRowLimit();
    const bool allowExhaustiveSearch = consecutiveAlignmentFailures_ < 3 || consecutiveAlignmentFailures_ % 4 == 0;
    const auto candidate = bestAlignmentCandidate(raster, allowExhaustiveSearch);
    if (candidate) {
        const auto alignment = candidate->alignment;
        const int64_t appendedRows = raster.height - (alignment.leadingInset + alignment.overlap);
        // A zero-row append would add an empty slice: it is no movement.
        if (appendedRows >= std::max<int64_t>(1, minimumAcceptedRows) &&
            !verifier_.isAmbiguous(alignment, candidate->score, previousFrame_, raster) &&
            !verifier_.bandsContradict(alignment, previousFrame_, raster)) {
            if (auto error = commit(raster, *candidate)) return unexpected(std::move(*error));
            consecutiveAlignmentFailures_ = 0;
            return ScrollingCaptureFrameDisposition::appended(appendedRows);
        }
    }
    ++consecutiveAlignmentFailures_;
    return ScrollingCaptureFrameDisposition::ignored();
}

std::optional<CaptureError> ScrollingCaptureComposer::commit(const ScrollingFrameRaster& raster,
                                                             const AlignmentCandidate& candidate) {
    const int64_t startRow = candidate.alignment.leadingInset + candidate.alignment.overlap;
    auto slice = raster.makeImage(startRow);
    if (!slice) return slice.error();
    slices_.push_back(std::move(*slice));
    if (auto error = foldIfNeeded()) {
        slices_.pop_back();
        return error;
    }
    totalHeight_ += raster.height - startRow;
    previousFrame_ = raster.releasingSource();
    previousFrameRowHashIndex_ = previousFrame_.makeRowHashIndex();
    previousSuccessfulAlignment_ = candidate.alignment;
    return std::nullopt;
}

std::optional<CaptureError> ScrollingCaptureComposer::foldIfNeeded() {
    if (slices_.size() - segmentCount_ <= 23) return std::nullopt;
    std::vector<Image> loose(std::make_move_iterator(slices_.begin() + long(segmentCount_)),
                             std::make_move_iterator(slices_.end()));
    auto folded = mergeSlices(loose);
    if (!folded) {
        // Put the loose slices back where they were.
        for (size_t i = 0; i < loose.size(); ++i) slices_[segmentCount_ + i] = std::move(loose[i]);
        return folded.error();
    }
    slices_.resize(segmentCount_);
    slices_.push_back(std::move(*folded));
    ++segmentCount_;
    // The fold stands on its own; should the compaction fail, the next fold
    // tries it again.
    if (segmentCount_ >= 24) (void)compactSlices();
    return std::nullopt;
}

std::optional<CaptureError> ScrollingCaptureComposer::compactSlices() {
    if (slices_.size() <= 1) return std::nullopt;
    auto merged = mergeSlices(slices_);
    if (!merged) return merged.error();
    slices_.push_back(std::move(*merged));
    segmentCount_ = 1;
    return std::nullopt;
}

Expected<Image, CaptureError> ScrollingCaptureComposer::render(double scale) const {
    if (slices_.empty()) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    if (scale >= 1) {
        // Full size: a plain copy of the stacked rows.
        std::vector<Image> copies;
        for (const auto& slice : slices_) copies.push_back(slice.clone());
        return mergeSlices(copies);
    }
    if (!(scale > 0)) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    return renderScaled(slices_, width_, totalHeight_, scale);
}

Expected<Image, CaptureError> ScrollingCaptureComposer::renderPreview(int64_t maxWidth, int64_t maxHeight) const {
    const double scale = std::min({1.0, double(std::max<int64_t>(1, maxWidth)) / double(std::max<int64_t>(1, width_)),
                                   double(std::max<int64_t>(1, maxHeight)) / double(std::max<int64_t>(1, totalHeight_))});
    return render(scale);
}

Expected<Image, CaptureError> ScrollingCaptureComposer::takeFinalImage() {
    if (slices_.size() == 1) {
        Image image = std::move(slices_.front());
        slices_.clear();
        return image;
    }
    return mergeSlices(slices_);
}

}  // namespace tessarin
