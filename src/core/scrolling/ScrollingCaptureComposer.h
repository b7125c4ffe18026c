#pragma once
// Turns frames of one screen region into one tall image: each new frame is
// aligned against the last appended one, only its new rows are kept as a
// slice, and frames that cannot be placed with confidence are refused.
//
// The slices are written straight into one canvas sized for the row limit
// (its pages, huge where the kernel allows, are only mapped as rows arrive,
// a frame's worth ahead between frames), and the slice list keeps
// their heights: folding and compaction are bookkeeping, the final image is
// the canvas itself, and the stitched pixels never exist twice.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/scrolling/ScrollingAlignmentSearch.h"
#include "core/scrolling/ScrollingAlignmentVerifier.h"
#include "core/scrolling/ScrollingFrameRaster.h"

namespace tessarin {

struct ScrollingCaptureFrameDisposition {
    enum class Kind { appended, ignored, reachedRowLimit };
    Kind kind = Kind::ignored;
    int64_t rows = 0;  // when appended

    static ScrollingCaptureFrameDisposition appended(int64_t rows) { return {Kind::appended, rows}; }
    static ScrollingCaptureFrameDisposition ignored() { return {Kind::ignored, 0}; }
    static ScrollingCaptureFrameDisposition reachedRowLimit() { return {Kind::reachedRowLimit, 0}; }
    friend bool operator==(const ScrollingCaptureFrameDisposition&, const ScrollingCaptureFrameDisposition&) = default;
};

// Whether a frame can be placed, and where.
struct ScrollingFramePlacement {
    // undecided: no candidate, one that another overlap matches about as
    // well, or one that scrolled too little; refused: a candidate that a
    // band of the frame contradicts, or a frame the dense retry could not
    // place either.
    enum class Verdict { placed, refused, undecided };
    Verdict verdict = Verdict::undecided;
    std::optional<AlignmentCandidate> candidate;  // the placed one, else the sampled pass's
    bool denseRetried = false;                    // the sampled pass left it undecided
};

class ScrollingCaptureComposer {
public:
    static constexpr int64_t kMaximumRows = 60'000;
    static constexpr double kPassingScore = kPassingAlignmentScore;
    // The most a dense retry's candidate may score.
    static constexpr double kDenseRetryScoreCeiling = 2.0;
    // The widest scrollbar the dense retry leaves out on a second try.
    static constexpr int64_t kScrollbarStripWidth = 24;

    static Expected<ScrollingCaptureComposer, CaptureError> make(const ScrollingFrameRaster& firstRaster,
                                                                 int64_t minimumAppendedRows);

    // An error only when the frame was placed but its rows could not be
    // cut out or folded; the composer is then unchanged.
    Expected<ScrollingCaptureFrameDisposition, CaptureError> appendDisposition(const ScrollingFrameRaster& raster,
                                                                               int64_t minimumAcceptedRows);
    // Maps the canvas rows the next frame may append, so that appending
    // does not stop at each fresh page; for the time between frames.
    void prepareForNextFrame();
    // Merges every slice into one.
    void compactSlices();
    Expected<Image, CaptureError> renderPreview(int64_t maxWidth, int64_t maxHeight) const;
    Expected<Image, CaptureError> render(double scale) const;
    // The full-size image, moved out without copying; the composer is
    // empty afterwards.
    Expected<Image, CaptureError> takeFinalImage();

    // Where `raster` would go, without placing it. The sampled signatures
    // decide first; a frame they leave undecided is tried again, when
    // `denseRetry` is set, on signatures of the columns where look-alike
    // rows differ, under the same search, scores and verifier.
    ScrollingFramePlacement placement(const ScrollingFrameRaster& raster, int64_t minimumAcceptedRows,
                                      bool allowExhaustiveSearch, bool denseRetry = true) const;
    // The sampled pass's search, exposed for tests and the benchmark.
    std::optional<AlignmentCandidate> bestAlignmentCandidate(const ScrollingFrameRaster& current,
                                                             bool allowExhaustiveSearch) const;

    int64_t width() const { return width_; }
    int64_t totalHeight() const { return totalHeight_; }
    // Row limit for this width: 60,000 rows, fewer when a frame that wide
    // would make the image larger than the largest image we allocate.
    int64_t rowLimit() const { return rowLimit_; }
    size_t sliceCount() const { return sliceHeights_.size(); }
    size_t segmentCount() const { return segmentCount_; }
    int64_t consecutiveAlignmentFailures() const { return consecutiveAlignmentFailures_; }
    // Frames the dense retry ran for, and those it placed.
    int64_t denseRetries() const { return denseRetries_; }
    int64_t denseRetryPlacements() const { return denseRetryPlacements_; }
    const ScrollingFrameRaster& previousFrame() const { return previousFrame_; }
    const std::optional<ScrollingCaptureAlignment>& previousSuccessfulAlignment() const {
        return previousSuccessfulAlignment_;
    }

private:
    ScrollingCaptureComposer() = default;
    // Appends the rows below the candidate's overlap; a `footer` of the
    // previous frame's last rows (a static band at the bottom of the
    // region) is written over, so it stays once, at the end.
    std::optional<CaptureError> commit(const ScrollingFrameRaster& raster, const AlignmentCandidate& candidate,
                                       int64_t footer = 0);
    // The sampled pass on the frames without their last `footer` rows.
    std::optional<AlignmentCandidate> placementAboveFooter(const ScrollingFrameRaster& raster, int64_t footer,
                                                           int64_t minimumAcceptedRows,
                                                           bool allowExhaustiveSearch) const;
    void foldIfNeeded();
    ScrollingFramePlacement::Verdict judge(const std::optional<AlignmentCandidate>& candidate,
                                           const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                                           int64_t minimumAcceptedRows) const;
    // Whether `current` showing what `previous` showed, unmoved or moved
    // by fewer rows than a scroll must add, scores within the ambiguity
    // margin of `candidate`.
    bool isSmallMovementAsGood(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                               const AlignmentCandidate& candidate, int64_t minimumAcceptedRows) const;
    std::optional<AlignmentCandidate> denseRetryCandidate(const ScrollingFrameRaster& raster,
                                                          int64_t minimumAcceptedRows) const;
    // The retry's search and checks on signatures of `columns`.
    std::optional<AlignmentCandidate> denseCandidateOn(const std::vector<int64_t>& columns,
                                                       const std::function<const uint8_t*(int64_t)>& previousRow,
                                                       const ScrollingFrameRaster& raster,
                                                       int64_t minimumAcceptedRows) const;

    int64_t minimumAppendedRows_ = 0;
    int64_t width_ = 0;
    int64_t bytesPerRow_ = 0;
    int64_t rowLimit_ = kMaximumRows;
    ScrollingFrameRaster previousFrame_;
    ScrollingRowHashIndex previousFrameRowHashIndex_;
    std::optional<ScrollingCaptureAlignment> previousSuccessfulAlignment_;
    Image canvas_;                       // rows [0, totalHeight_) are the stitched image
    std::vector<int64_t> sliceHeights_;  // top to bottom; the first segmentCount_ are folded
    size_t segmentCount_ = 0;
    int64_t totalHeight_ = 0;
    int64_t preparedRows_ = 0;  // canvas rows already mapped
    int64_t consecutiveAlignmentFailures_ = 0;
    int64_t denseRetries_ = 0;
    int64_t denseRetryPlacements_ = 0;
    ScrollingAlignmentVerifier verifier_;
};

}  // namespace tessarin
