#include "core/scrolling/ScrollingCaptureComposer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
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

// Nearest-neighbour scaling of the first `totalHeight` rows; `scale` at most 1.
Expected<Image, CaptureError> renderScaled(const Image& canvas, int64_t totalHeight, double scale) {
    const int64_t width = canvas.width();
    const auto outWidth = std::max<int64_t>(1, std::llround(double(width) * scale));
    const auto outHeight = std::max<int64_t>(1, std::llround(double(totalHeight) * scale));
    if (outWidth > width || outHeight > totalHeight) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    }
    auto image = Image::allocate(static_cast<uint32_t>(outWidth), static_cast<uint32_t>(outHeight));
    if (!image) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    std::vector<int64_t> columns(static_cast<size_t>(outWidth));
    for (int64_t x = 0; x < outWidth; ++x) {
        columns[static_cast<size_t>(x)] =
            std::min<int64_t>(width - 1, int64_t((double(x) + 0.5) * double(width) / double(outWidth)));
    }
    for (int64_t y = 0; y < outHeight; ++y) {
        const int64_t source =
            std::min<int64_t>(totalHeight - 1, int64_t((double(y) + 0.5) * double(totalHeight) / double(outHeight)));
        const uint8_t* row = canvas.row(static_cast<uint32_t>(source));
        uint8_t* target = image->row(static_cast<uint32_t>(y));
        for (const int64_t x : columns) {
            std::memcpy(target, row + x * 4, 4);
            target += 4;
        }
    }
    return std::move(*image);
}

}  // namespace

Expected<ScrollingCaptureComposer, CaptureError> ScrollingCaptureComposer::make(const ScrollingFrameRaster& firstRaster,
                                                                                int64_t minimumAppendedRows) {
    const int64_t width = firstRaster.width;
    const int64_t height = firstRaster.height;
    if (width <= 0 || height <= 0) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::sliceExtractionFailed));
    }
    // Room for every append below the limit: the last one may add a whole
    // frame. Wide frames get fewer rows so the image stays allocatable.
    const int64_t capacity = std::min(kMaximumRows - 1 + height, int64_t(Image::kMaxPixels) / width);
    if (capacity < height) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    ScrollingCaptureComposer composer;
    try {
        auto canvas = Image::allocateOnDemand(static_cast<uint32_t>(width), static_cast<uint32_t>(capacity));
        if (!canvas) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
        composer.canvas_ = std::move(*canvas);
    } catch (const std::bad_alloc&) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    }
    if (auto error = firstRaster.copyRows(0, composer.canvas_.data())) return unexpected(std::move(*error));
    composer.minimumAppendedRows_ = minimumAppendedRows;
    composer.width_ = width;
    composer.bytesPerRow_ = firstRaster.bytesPerRow;
    composer.rowLimit_ = capacity - height + 1;
    composer.sliceHeights_.push_back(height);
    composer.totalHeight_ = height;
    composer.segmentCount_ = 1;
    composer.previousFrame_ = firstRaster.releasingSource();
    composer.previousFrameRowHashIndex_ = composer.previousFrame_.makeRowHashIndex();
    composer.prepareForNextFrame();
    return composer;
}

void ScrollingCaptureComposer::prepareForNextFrame() {
    const int64_t end = std::min<int64_t>(totalHeight_ + previousFrame_.height, canvas_.height());
    if (canvas_.isEmpty() || end <= preparedRows_) return;
    const int64_t begin = std::max(totalHeight_, preparedRows_);
    canvas_.prepareRows(static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin));
    preparedRows_ = end;
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
            !verifier_.rejects(alignment, candidate->score, previousFrame_, raster)) {
            // Only a frame taller than the first can outgrow the canvas.
            if (totalHeight_ + appendedRows > int64_t{canvas_.height()}) {
                return ScrollingCaptureFrameDisposition::reachedRowLimit();
            }
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
    const int64_t rows = raster.height - startRow;
    if (auto error = raster.copyRows(startRow, canvas_.row(static_cast<uint32_t>(totalHeight_)))) return error;
    sliceHeights_.push_back(rows);
    foldIfNeeded();
    totalHeight_ += rows;
    previousFrame_ = raster.releasingSource();
    previousFrameRowHashIndex_ = previousFrame_.makeRowHashIndex();
    previousSuccessfulAlignment_ = candidate.alignment;
    return std::nullopt;
}

void ScrollingCaptureComposer::foldIfNeeded() {
    if (sliceHeights_.size() - segmentCount_ <= 23) return;
    int64_t folded = 0;
    for (size_t i = segmentCount_; i < sliceHeights_.size(); ++i) folded += sliceHeights_[i];
    sliceHeights_.resize(segmentCount_);
    sliceHeights_.push_back(folded);
    ++segmentCount_;
    if (segmentCount_ >= 24) compactSlices();
}

void ScrollingCaptureComposer::compactSlices() {
    if (sliceHeights_.size() <= 1) return;
    int64_t total = 0;
    for (const int64_t height : sliceHeights_) total += height;
    sliceHeights_.assign(1, total);
    segmentCount_ = 1;
}

Expected<Image, CaptureError> ScrollingCaptureComposer::render(double scale) const {
    if (canvas_.isEmpty() || totalHeight_ <= 0) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    }
    if (scale >= 1) {
        auto copy = canvas_.cropped(0, 0, canvas_.width(), static_cast<uint32_t>(totalHeight_));
        if (!copy) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
        return std::move(*copy);
    }
    if (!(scale > 0)) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    return renderScaled(canvas_, totalHeight_, scale);
}

Expected<Image, CaptureError> ScrollingCaptureComposer::renderPreview(int64_t maxWidth, int64_t maxHeight) const {
    const double scale = std::min({1.0, double(std::max<int64_t>(1, maxWidth)) / double(std::max<int64_t>(1, width_)),
                                   double(std::max<int64_t>(1, maxHeight)) / double(std::max<int64_t>(1, totalHeight_))});
    return render(scale);
}

Expected<Image, CaptureError> ScrollingCaptureComposer::takeFinalImage() {
    if (canvas_.isEmpty() || totalHeight_ <= 0) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    }
    Image image = std::move(canvas_);
    image.keepTopRows(static_cast<uint32_t>(totalHeight_));
    sliceHeights_.clear();
    segmentCount_ = 0;
    totalHeight_ = 0;
    return image;
}

}  // namespace tessarin
