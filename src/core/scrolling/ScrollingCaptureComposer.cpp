#include "core/scrolling/ScrollingCaptureComposer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/scrolling/ScrollingDenseRetry.h"

namespace tessarin {
namespace {

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

// Rows at the bottom of the region that stay put while the content above
// them scrolls (a status bar, a window frame's edge): the last rows two
// frames show alike, row for row. The alignment compares the previous
// frame's bottom with the new frame's middle, which such a band spoils, so
// the frames are compared without it. A few alike rows are common between
// lines of text and change nothing; a band of a quarter of the frame or
// more is not told from content that did not move.
int64_t staticFooterRows(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current) {
    constexpr int64_t kMinimumFooterRows = 6;
    if (previous.height != current.height || previous.signatureLength != current.signatureLength) return 0;
    const int64_t height = current.height;
    const int64_t limit = std::min<int64_t>(height / 4, 160);
    int64_t rows = 0;
    while (rows < height && std::memcmp(previous.signature(height - 1 - rows), current.signature(height - 1 - rows),
                                        static_cast<size_t>(current.signatureLength)) == 0) {
        ++rows;
    }
    return rows >= kMinimumFooterRows && rows < limit ? rows : 0;
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
    return tessarin::bestAlignmentCandidate({&previousFrame_, &previousFrameRowHashIndex_, minimumAppendedRows_,
                                             previousSuccessfulAlignment_, allowExhaustiveSearch, true},
                                            current);
}

ScrollingFramePlacement::Verdict ScrollingCaptureComposer::judge(const std::optional<AlignmentCandidate>& candidate,
                                                                 const ScrollingFrameRaster& previous,
                                                                 const ScrollingFrameRaster& current,
                                                                 int64_t minimumAcceptedRows) const {
    using Verdict = ScrollingFramePlacement::Verdict;
    if (!candidate) return Verdict::undecided;
    const auto alignment = candidate->alignment;
    const int64_t appendedRows = current.height - (alignment.leadingInset + alignment.overlap);
    // A zero-row append would add an empty slice: it is no movement. On
    // look-alike rows the best sampled candidate is often a near-zero
    // scroll that is no better than the true one, so too small a scroll
    // leaves the frame undecided rather than refused.
    if (appendedRows < std::max<int64_t>(1, minimumAcceptedRows)) return Verdict::undecided;
    if (!verifier_.rejects(alignment, candidate->score, previous, current)) return Verdict::placed;
    // A band that contradicts the alignment is a decision; ambiguity is not.
    return verifier_.isAmbiguous(alignment, candidate->score, previous, current) ? Verdict::undecided
                                                                                  : Verdict::refused;
}

ScrollingFramePlacement ScrollingCaptureComposer::placement(const ScrollingFrameRaster& raster,
                                                            int64_t minimumAcceptedRows, bool allowExhaustiveSearch,
                                                            bool denseRetry) const {
    using Verdict = ScrollingFramePlacement::Verdict;
    auto sampled = bestAlignmentCandidate(raster, allowExhaustiveSearch);
    const Verdict verdict = judge(sampled, previousFrame_, raster, minimumAcceptedRows);
    if (verdict != Verdict::undecided || !denseRetry) return {verdict, std::move(sampled), false};
    if (auto dense = denseRetryCandidate(raster, minimumAcceptedRows)) {
        return {Verdict::placed, dense, true};
    }
    return {Verdict::refused, std::move(sampled), true};
}

bool ScrollingCaptureComposer::isSmallMovementAsGood(const ScrollingFrameRaster& previous,
                                                     const ScrollingFrameRaster& current,
                                                     const AlignmentCandidate& candidate,
                                                     int64_t minimumAcceptedRows) const {
    if (previous.height != current.height) return false;
    const int64_t height = previous.height;
    const int64_t candidateScroll = height - (candidate.alignment.leadingInset + candidate.alignment.overlap);
    const int64_t smallest = std::max({int64_t{1}, minimumAppendedRows_, minimumAcceptedRows});
    const double limit = candidate.score + verifier_.ambiguityMargin;
    for (int64_t scroll = 0; scroll < std::min(smallest, candidateScroll); ++scroll) {
        // The previous frame's rows [scroll, height) at the top of this one.
        if (previous.alignmentScore(height - scroll, current, 0, limit) <= limit) return true;
    }
    return false;
}

// The previous frame's pixels are gone, but the canvas holds its content:
// its rows below the header are the canvas's last rows, and its header is
// the canvas's top (the first frame's). So no frame is kept for a retry
// that most captures never need.
std::optional<AlignmentCandidate> ScrollingCaptureComposer::denseRetryCandidate(const ScrollingFrameRaster& raster,
                                                                                int64_t minimumAcceptedRows) const {
    const int64_t height = previousFrame_.height;
    if (!raster.sourceBuffer || canvas_.isEmpty() || totalHeight_ < height) return std::nullopt;
    const int64_t header =
        previousSuccessfulAlignment_ ? std::clamp<int64_t>(previousSuccessfulAlignment_->leadingInset, 0, height) : 0;
    const int64_t tail = totalHeight_ - height;
    const Image& canvas = canvas_;
    const auto previousRow = [&canvas, header, tail](int64_t y) {
        return canvas.row(static_cast<uint32_t>(y < header ? y : tail + y));
    };
    const RegionFrame& pixels = *raster.sourceBuffer;
    if (pixels.height < raster.height) return std::nullopt;
    // Columns from both frames: a digit the new frame's lines all share
    // can still be the one that tells them from the previous frame's. The
    // previous frame's rows above the last inset are the canvas's top,
    // which is only its content when that inset was a real header; they
    // are left out of the choice.
    const auto columns = discriminatingColumns(
        {&previousFrame_, previousRow, ScrollingFrameRaster::PixelOrder::rgba, header},
        {&raster, [&pixels](int64_t y) { return pixels.row(y); }, ScrollingFrameRaster::PixelOrder::bgra});
    if (columns.empty()) return std::nullopt;
    if (auto placed = denseCandidateOn(columns, previousRow, raster, minimumAcceptedRows)) return placed;
    // An overlay scrollbar's thumb fades in while the content scrolls and
    // moves at its own pace: where look-alike rows differ by the thumb,
    // its columns disagree with every true reading. Such a frame is tried
    // once more without the strip along the right edge, then the left
    // (where right-to-left desktops put the scrollbar); line numbers and
    // digits further in still decide.
    const int64_t strip = std::min<int64_t>(kScrollbarStripWidth, width_ / 10);
    for (const bool rightEdge : {true, false}) {
        std::vector<int64_t> inner;
        for (const int64_t column : columns) {
            const bool inStrip = rightEdge ? column >= width_ - strip : column < strip;
            if (!inStrip) inner.push_back(column);
        }
        if (inner.size() == columns.size() || inner.empty()) continue;
        if (auto placed = denseCandidateOn(inner, previousRow, raster, minimumAcceptedRows)) return placed;
    }
    return std::nullopt;
}

std::optional<AlignmentCandidate> ScrollingCaptureComposer::denseCandidateOn(
    const std::vector<int64_t>& columns, const std::function<const uint8_t*(int64_t)>& previousRow,
    const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows) const {
    const int64_t height = previousFrame_.height;
    const RegionFrame& pixels = *raster.sourceBuffer;
    const auto previous =
        ScrollingFrameRaster::fromRows(width_, height, columns, ScrollingFrameRaster::PixelOrder::rgba, previousRow);
    const auto current = ScrollingFrameRaster::fromRows(raster.width, raster.height, columns,
                                                        ScrollingFrameRaster::PixelOrder::bgra,
                                                        [&pixels](int64_t y) { return pixels.row(y); });
    const auto index = previous.makeRowHashIndex();
    // A few columns of digits repeat glyph rows from line to line, so an
    // exact-row vote on them is weaker evidence than on the sampled
    // signature: here it must also pass the score. On rows that differ
    // in these columns the vote nearly always decides; the exhaustive
    // search, up to a few thousand scores of 768-byte rows, is left out to
    // keep the retry's cost bounded.
    auto candidate = tessarin::bestAlignmentCandidate(
        {&previous, &index, minimumAppendedRows_, previousSuccessfulAlignment_, false, false}, current);
    if (judge(candidate, previous, current, minimumAcceptedRows) != ScrollingFramePlacement::Verdict::placed) {
        return std::nullopt;
    }
    // Once a frame has been refused since the last placement, the content
    // may have moved past the previous frame altogether, and look-alike
    // lines then match some reading a whole number of lines off about as
    // well as the true one would. Only an exact-row vote on these columns
    // still places a frame; anything less waits for the sampled pass to
    // pick the content up again.
    if (consecutiveAlignmentFailures_ > 0 && !candidate->decisive) return std::nullopt;
    // These columns are where look-alike lines differ, so the true reading
    // matches them almost exactly, while one a multiple of ten lines off
    // differs by a whole digit glyph on every line and still passes the
    // ordinary score (diluted over the other columns). Only a close match
    // is taken.
    if (candidate->score > kDenseRetryScoreCeiling) return std::nullopt;
    // The search only looks forward by at least the minimum scroll, and
    // the verifier's competitors stop short of the whole frame, so neither
    // weighs the reading that the content did not move (or crept by a few
    // rows). A frame that changed only outside the content (an overlay
    // scrollbar fading in) reaches the retry that way, and on look-alike
    // lines a scroll by a whole number of lines can then pass the score: if
    // standing still matches about as well, nothing is placed.
    if (isSmallMovementAsGood(previous, current, *candidate, minimumAcceptedRows)) return std::nullopt;
    return candidate;
}

Expected<ScrollingCaptureFrameDisposition, CaptureError> ScrollingCaptureComposer::appendDisposition(
    const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows) {
    if (raster.width != width_) return ScrollingCaptureFrameDisposition::ignored();
    if (totalHeight_ >= rowLimit_) return ScrollingCaptureFrameDisposition::reachedRowLimit();
    const bool allowExhaustiveSearch = consecutiveAlignmentFailures_ < 3 || consecutiveAlignmentFailures_ % 4 == 0;
    if (const int64_t footer = staticFooterRows(previousFrame_, raster); footer > 0) {
        if (auto candidate = placementAboveFooter(raster, footer, minimumAcceptedRows, allowExhaustiveSearch)) {
            const int64_t appendedRows = raster.height - footer - (candidate->alignment.leadingInset + candidate->alignment.overlap);
            if (totalHeight_ + appendedRows > int64_t{canvas_.height()}) {
                return ScrollingCaptureFrameDisposition::reachedRowLimit();
            }
            if (auto error = commit(raster, *candidate, footer)) return unexpected(std::move(*error));
            consecutiveAlignmentFailures_ = 0;
            return ScrollingCaptureFrameDisposition::appended(appendedRows);
        }
    }
    const auto decided = placement(raster, minimumAcceptedRows, allowExhaustiveSearch);
    if (decided.denseRetried) ++denseRetries_;
    if (decided.verdict == ScrollingFramePlacement::Verdict::placed) {
        const auto alignment = decided.candidate->alignment;
        const int64_t appendedRows = raster.height - (alignment.leadingInset + alignment.overlap);
        // Only a frame taller than the first can outgrow the canvas.
        if (totalHeight_ + appendedRows > int64_t{canvas_.height()}) {
            return ScrollingCaptureFrameDisposition::reachedRowLimit();
        }
        if (auto error = commit(raster, *decided.candidate)) return unexpected(std::move(*error));
        consecutiveAlignmentFailures_ = 0;
        if (decided.denseRetried) ++denseRetryPlacements_;
        return ScrollingCaptureFrameDisposition::appended(appendedRows);
    }
    ++consecutiveAlignmentFailures_;
    return ScrollingCaptureFrameDisposition::ignored();
}

std::optional<AlignmentCandidate> ScrollingCaptureComposer::placementAboveFooter(const ScrollingFrameRaster& raster,
                                                                                 int64_t footer,
                                                                                 int64_t minimumAcceptedRows,
                                                                                 bool allowExhaustiveSearch) const {
    const int64_t rows = raster.height - footer;
    const ScrollingFrameRaster previous = previousFrame_.topRows(rows);
    const ScrollingFrameRaster current = raster.topRows(rows);
    const ScrollingRowHashIndex index = previous.makeRowHashIndex();
    auto candidate = tessarin::bestAlignmentCandidate(
        {&previous, &index, minimumAppendedRows_, previousSuccessfulAlignment_, allowExhaustiveSearch, true}, current);
    if (judge(candidate, previous, current, minimumAcceptedRows) != ScrollingFramePlacement::Verdict::placed) {
        return std::nullopt;
    }
    return candidate;
}

std::optional<CaptureError> ScrollingCaptureComposer::commit(const ScrollingFrameRaster& raster,
                                                             const AlignmentCandidate& candidate, int64_t footer) {
    const int64_t startRow = candidate.alignment.leadingInset + candidate.alignment.overlap;
    // The new rows go where the previous frame's footer began; this frame's
    // footer follows them.
    const int64_t rows = raster.height - startRow - footer;
    const auto at = static_cast<uint32_t>(totalHeight_ - footer);
    if (auto error = raster.copyRows(startRow, canvas_.row(at))) return error;
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
