#pragma once
// The per-frame analysis of a scrolling capture: a compact colour signature
// of every pixel row (8 to 24 sampled columns), the rows that carry
// information, a hash index of rows, the exact-match vote that proposes a
// scroll distance, the stillness measure and the sampled alignment score.
// Everything works on the signatures; the frame's pixels are kept only
// while rows may still be cut out of it.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "platform/RegionFrameStream.h"

namespace tessarin {

// Every score that cannot be computed (mismatched frames, too few
// informative rows) is this value, so it never wins a comparison.
inline constexpr double kUnscorable = std::numeric_limits<double>::max();

namespace ScrollingMessages {
inline constexpr const char* framePreparationFailed = "Failed to prepare a scrolling capture frame";
inline constexpr const char* sliceExtractionFailed = "Failed to extract a scrolling capture slice";
inline constexpr const char* sliceReadFailed = "Failed to read a scrolling capture slice";
inline constexpr const char* renderFailed = "Failed to render the scrolling capture";
}  // namespace ScrollingMessages

// The last `overlap` rows of the previous frame show the same content as
// rows [leadingInset, leadingInset + overlap) of the current one; rows above
// leadingInset are a fixed header, rows below the overlap are new.
struct ScrollingCaptureAlignment {
    int64_t leadingInset = 0;
    int64_t overlap = 0;
    friend bool operator==(const ScrollingCaptureAlignment&, const ScrollingCaptureAlignment&) = default;
};

struct ScrollingExactScrollDelta {
    int64_t delta = 0;            // rows the content moved up
    int64_t votes = 0;            // row matches supporting it
    int64_t firstMatchedRow = 0;  // smallest current-frame row among them
    friend bool operator==(const ScrollingExactScrollDelta&, const ScrollingExactScrollDelta&) = default;
};

// Informative rows of one raster by the FNV-1a hash of their signature.
struct ScrollingRowHashIndex {
    std::unordered_map<uint64_t, std::vector<int32_t>> rowsByHash;
};

// The sampled columns of a frame `width` pixels wide.
std::vector<int64_t> sampleColumns(int64_t width);

struct InformativeRowIndex {
    std::vector<int32_t> rows;    // ascending
    std::vector<int32_t> prefix;  // height + 1 counts of informative rows below each index
};
InformativeRowIndex makeInformativeRowIndex(const std::vector<uint8_t>& signatures, int64_t height, int64_t length);

// Sum of absolute differences of two byte rows.
int64_t signatureDifference(const uint8_t* a, const uint8_t* b, int64_t length);

// 64-bit FNV-1a over `length` bytes.
uint64_t rowHash(const uint8_t* bytes, size_t length);

struct ScrollingFrameRaster {
    int64_t width = 0;
    int64_t height = 0;
    int64_t bytesPerRow = 0;  // of the RGBA rows makeImage produces
    // The frame the rows are cut from; released once only comparisons remain.
    std::shared_ptr<const RegionFrame> sourceBuffer;
    std::vector<uint8_t> signatures;  // height x signatureLength bytes
    int64_t signatureLength = 0;
    std::vector<int32_t> informativeRows;
    std::vector<int32_t> informativeRowPrefix;
    // Hashes of the whole width of up to 32 rows spread over the frame
    // (alpha ignored): changes the sampled columns miss, such as a list of
    // look-alike rows scrolled by whole rows, still show here. Empty for a
    // raster built without a frame.
    std::vector<uint64_t> rowFingerprints;

    static Expected<ScrollingFrameRaster, CaptureError> fromFrame(std::shared_ptr<const RegionFrame> frame);

    // Where R, G and B sit in a 4-byte pixel.
    enum class PixelOrder { bgra, rgba };
    // The analysis of `height` rows `width` pixels wide, each supplied by
    // `row(y)`, summarised by `columns`; no pixels to cut slices from.
    static ScrollingFrameRaster fromRows(int64_t width, int64_t height, const std::vector<int64_t>& columns,
                                         PixelOrder order, const std::function<const uint8_t*(int64_t)>& row);

    // Rows [startRow, height) as an RGBA image (alpha 255).
    Expected<Image, CaptureError> makeImage(int64_t startRow) const;
    // The same rows written as RGBA into `destination`, bytesPerRow apart.
    std::optional<CaptureError> copyRows(int64_t startRow, uint8_t* destination) const;
    // The analysis of rows [0, rows) alone; the pixels and the whole
    // frame's fingerprints stay shared.
    ScrollingFrameRaster topRows(int64_t rows) const;
    // The same analysis without the pixels.
    ScrollingFrameRaster releasingSource() const&;
    ScrollingFrameRaster releasingSource() &&;

    const uint8_t* signature(int64_t row) const { return signatures.data() + row * signatureLength; }
    int64_t informativeCount(int64_t from, int64_t to) const {
        return informativeRowPrefix[static_cast<size_t>(to)] - informativeRowPrefix[static_cast<size_t>(from)];
    }

    ScrollingRowHashIndex makeRowHashIndex() const;
    // Called on the previous frame; sorted by votes, then by delta.
    std::vector<ScrollingExactScrollDelta> exactForwardScrollDeltas(const ScrollingFrameRaster& to,
                                                                    int64_t minimumDelta, int64_t maximumDelta,
                                                                    const ScrollingRowHashIndex* rowHashIndex) const;
    // 0 for identical frames, kUnscorable for frames of another shape.
    double stillnessScore(const ScrollingFrameRaster& other) const;
    // The share of the fingerprinted rows whose whole width differs from
    // `other`'s: 0 for identical frames, 1 for frames of another shape;
    // 0 when either raster was built without fingerprints.
    double changedRowShare(const ScrollingFrameRaster& other) const;
    // Called on the previous frame: mean byte difference of up to 24 sampled
    // informative rows of the overlap, the worst row dropped. Returns early
    // with a value above `scoreLimit` once that limit cannot be met.
    double alignmentScore(int64_t overlap, const ScrollingFrameRaster& current, int64_t currentLeadingInset,
                          double scoreLimit) const;
};

// The rows the alignment score compares: up to 24 informative rows of the
// previous frame's overlap, spread by a Fibonacci hash when there are more,
// and the offset to their partners in the current frame.
struct RowSampling {
    const ScrollingFrameRaster* previous = nullptr;
    const ScrollingFrameRaster* current = nullptr;
    int64_t firstInformative = 0;  // index into previous->informativeRows
    int64_t informativeCount = 0;
    int64_t samples = 0;
    int64_t rowOffset = 0;  // current row = previous row + rowOffset

    // None when the overlap cannot be scored.
    static std::optional<RowSampling> make(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                                           ScrollingCaptureAlignment alignment);
    int64_t previousRow(int64_t sample) const;
};

}  // namespace tessarin
