#include "core/scrolling/ScrollingFrameRaster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/common/PixelRows.h"

namespace tessarin {
namespace {

bool isEdgeRow(const uint8_t* row, int64_t length) {
    int strongEdges = 0;
    for (int64_t j = 0; j + 1 < length / 3; ++j) {
        const uint8_t* a = row + j * 3;
        const uint8_t* b = a + 3;
        const int d = std::abs(int(a[0]) - int(b[0])) + std::abs(int(a[1]) - int(b[1])) + std::abs(int(a[2]) - int(b[2]));
        if (d >= 18 && ++strongEdges > 3) return true;
    }
    return false;
}

// Rows 0, step, 2 x step, ... that the stillness score compares.
int64_t stillnessStep(int64_t height) { return height >= 48 ? height / 24 : 1; }

constexpr int64_t kFingerprintRows = 32;

// A hash of a BGRA row's colour bytes, eight at a time in four
// independent lanes (so the multiplications overlap).
uint64_t fingerprintRow(const uint8_t* row, int64_t width) {
    static constexpr uint8_t kColourBytes[8] = {0xff, 0xff, 0xff, 0, 0xff, 0xff, 0xff, 0};
    uint64_t colour = 0;
    std::memcpy(&colour, kColourBytes, 8);
    uint64_t lanes[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull, 0x27D4EB2F165667C5ull};
    const auto mixIn = [](uint64_t hash, uint64_t word) {
        hash = (hash ^ word) * 0x100000001b3ull;
        return hash ^ (hash >> 29);
    };
    const int64_t bytes = width * 4;
    int64_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        for (int lane = 0; lane < 4; ++lane) {
            uint64_t word = 0;
            std::memcpy(&word, row + i + lane * 8, 8);
            lanes[lane] = mixIn(lanes[lane], word & colour);
        }
    }
    for (; i + 4 <= bytes; i += 4) {
        uint32_t pixel = 0;
        std::memcpy(&pixel, row + i, 4);
        lanes[0] = mixIn(lanes[0], uint64_t(pixel) & colour);
    }
    return mixIn(mixIn(mixIn(lanes[0], lanes[1]), lanes[2]), lanes[3] ^ uint64_t(width));
}

}  // namespace

int64_t signatureDifference(const uint8_t* a, const uint8_t* b, int64_t length) {
    int64_t i = 0;
    int64_t sum = 0;
#if defined(__SSE2__)
    __m128i total = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        total = _mm_add_epi64(total, _mm_sad_epu8(x, y));
    }
    sum = _mm_cvtsi128_si64(total) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total));
#endif
    for (; i < length; ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum;
}

std::vector<int64_t> sampleColumns(int64_t width) {
    const int64_t margin = width < 90 ? 8 : std::min(width / 4, width / 10);
    const int64_t start = width - 1 <= 0 ? 0 : std::min(width - 1, margin);
    const int64_t end = std::max(width - margin - 1, start);
    int64_t span = end - start;
    int64_t count = 0;
    if (span < 2) {
        span = 1;
        count = 8;
    } else {
        count = span >= 24 ? 24 : (span >= 9 ? span : 8);
    }
    std::vector<int64_t> columns(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        const double fraction = double(i) / double(count - 1);
        columns[static_cast<size_t>(i)] =
            std::min(width - 1, start + static_cast<int64_t>(fraction * double(span)));
    }
    return columns;
}

InformativeRowIndex makeInformativeRowIndex(const std::vector<uint8_t>& signatures, int64_t height, int64_t length) {
    InformativeRowIndex index;
    index.prefix.resize(static_cast<size_t>(height) + 1);
    for (int64_t r = 0; r < height; ++r) {
        index.prefix[static_cast<size_t>(r)] = static_cast<int32_t>(index.rows.size());
        const uint8_t* row = signatures.data() + r * length;
        bool informative = length >= 6 && isEdgeRow(row, length);
        if (!informative && length > 0) {
            const int64_t other = height == 1 ? 0 : (r + 1 < height ? r + 1 : r - 1);
            informative = signatureDifference(row, signatures.data() + other * length, length) / length >= 6;
        }
        if (informative) index.rows.push_back(static_cast<int32_t>(r));
    }
    index.prefix[static_cast<size_t>(height)] = static_cast<int32_t>(index.rows.size());
    return index;
}

uint64_t rowHash(const uint8_t* bytes, size_t length) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

Expected<ScrollingFrameRaster, CaptureError> ScrollingFrameRaster::fromFrame(std::shared_ptr<const RegionFrame> frame) {
    // Rows index signatures with 32-bit numbers; taller frames are not screens.
    if (!frame || !frame->isWellFormed() || frame->height > (int64_t{1} << 24) || frame->width > (int64_t{1} << 24)) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::framePreparationFailed));
    }
    const RegionFrame& pixels = *frame;
    auto raster = fromRows(frame->width, frame->height, sampleColumns(frame->width), PixelOrder::bgra,
                           [&pixels](int64_t y) { return pixels.row(y); });
    // Rows spread by the golden ratio: no period of the content (a line
    // height dividing the step) can hide every change from them.
    const int64_t rows = std::min<int64_t>(kFingerprintRows, raster.height);
    for (int64_t k = 0; k < rows; ++k) {
        const uint32_t spread = static_cast<uint32_t>(k) * 0x9E3779B9u;
        const auto r = static_cast<int64_t>((uint64_t{spread} * static_cast<uint64_t>(raster.height)) >> 32);
        raster.rowFingerprints.push_back(fingerprintRow(pixels.row(r), raster.width));
    }
    raster.sourceBuffer = std::move(frame);
    return raster;
}

ScrollingFrameRaster ScrollingFrameRaster::fromRows(int64_t width, int64_t height, const std::vector<int64_t>& columns,
                                                    PixelOrder order, const std::function<const uint8_t*(int64_t)>& row) {
    ScrollingFrameRaster raster;
    raster.width = width;
    raster.height = height;
    raster.bytesPerRow = width * 4;
    raster.signatureLength = static_cast<int64_t>(columns.size()) * 3;
    raster.signatures.resize(static_cast<size_t>(height * raster.signatureLength));
    const int red = order == PixelOrder::bgra ? 2 : 0;
    const int blue = 2 - red;
    uint8_t* out = raster.signatures.data();
    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* pixels = row(r);
        for (const int64_t c : columns) {
            const uint8_t* pixel = pixels + c * 4;
            *out++ = pixel[red];
            *out++ = pixel[1];
            *out++ = pixel[blue];
        }
    }
    auto index = makeInformativeRowIndex(raster.signatures, height, raster.signatureLength);
    raster.informativeRows = std::move(index.rows);
    raster.informativeRowPrefix = std::move(index.prefix);
    return raster;
}

std::optional<CaptureError> ScrollingFrameRaster::copyRows(int64_t startRow, uint8_t* destination) const {
    if (!sourceBuffer || startRow < 0 || startRow >= height) {
        return CaptureError::captureFailed(ScrollingMessages::sliceExtractionFailed);
    }
    for (int64_t y = startRow; y < height; ++y, destination += bytesPerRow) {
        bgrxRowToOpaqueRgba(sourceBuffer->row(y), destination, size_t(width));
    }
    return std::nullopt;
}

Expected<Image, CaptureError> ScrollingFrameRaster::makeImage(int64_t startRow) const {
    if (!sourceBuffer || startRow < 0 || startRow >= height) {
        return unexpected(CaptureError::captureFailed(ScrollingMessages::sliceExtractionFailed));
    }
    auto image = Image::allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height - startRow));
    if (!image) return unexpected(CaptureError::captureFailed(ScrollingMessages::sliceExtractionFailed));
    if (auto error = copyRows(startRow, image->data())) return unexpected(std::move(*error));
    return std::move(*image);
}

ScrollingFrameRaster ScrollingFrameRaster::topRows(int64_t rows) const {
    rows = std::clamp<int64_t>(rows, 0, height);
    ScrollingFrameRaster top;
    top.width = width;
    top.height = rows;
    top.bytesPerRow = bytesPerRow;
    top.sourceBuffer = sourceBuffer;
    top.signatureLength = signatureLength;
    top.signatures.assign(signatures.begin(), signatures.begin() + rows * signatureLength);
    for (const int32_t row : informativeRows) {
        if (row < rows) top.informativeRows.push_back(row);
    }
    top.informativeRowPrefix.assign(informativeRowPrefix.begin(), informativeRowPrefix.begin() + rows + 1);
    top.rowFingerprints = rowFingerprints;
    return top;
}

ScrollingFrameRaster ScrollingFrameRaster::releasingSource() const& {
    ScrollingFrameRaster copy = *this;
    copy.sourceBuffer.reset();
    return copy;
}

ScrollingFrameRaster ScrollingFrameRaster::releasingSource() && {
    sourceBuffer.reset();
    return std::move(*this);
}

ScrollingRowHashIndex ScrollingFrameRaster::makeRowHashIndex() const {
    ScrollingRowHashIndex index;
    index.rowsByHash.reserve(informativeRows.size());
    for (const int32_t r : informativeRows) {
        index.rowsByHash[rowHash(signature(r), static_cast<size_t>(signatureLength))].push_back(r);
    }
    return index;
}

std::vector<ScrollingExactScrollDelta> ScrollingFrameRaster::exactForwardScrollDeltas(
    const ScrollingFrameRaster& to, int64_t minimumDelta, int64_t maximumDelta,
    const ScrollingRowHashIndex* rowHashIndex) const {
    if (width != to.width || height != to.height || signatureLength <= 0 || signatureLength != to.signatureLength ||
        maximumDelta < minimumDelta) {
        return {};
    }
    ScrollingRowHashIndex built;
    if (rowHashIndex == nullptr) {
        built = makeRowHashIndex();
        rowHashIndex = &built;
    }
    // A delta p - r always lies strictly between -height and height.
    const int64_t low = std::max(minimumDelta, -(height - 1));
    const int64_t high = std::min(maximumDelta, height - 1);
    if (high < low) return {};
    std::vector<int64_t> votes(static_cast<size_t>(high - low + 1), 0);
    std::vector<int64_t> firstRow(votes.size(), 0);
    for (const int32_t r : to.informativeRows) {
        const auto bucket = rowHashIndex->rowsByHash.find(rowHash(to.signature(r), static_cast<size_t>(signatureLength)));
        // Repetitive content (list cells, blank lines) casts no votes.
        if (bucket == rowHashIndex->rowsByHash.end() || bucket->second.empty() || bucket->second.size() > 12) continue;
        for (const int32_t p : bucket->second) {
            const int64_t delta = int64_t{p} - r;
            if (delta < low || delta > high) continue;
            const auto slot = static_cast<size_t>(delta - low);
            firstRow[slot] = votes[slot] == 0 ? r : std::min<int64_t>(firstRow[slot], r);
            ++votes[slot];
        }
    }
    const int64_t minimumVotes = height >= 1200 ? height / 400 : 3;
    std::vector<ScrollingExactScrollDelta> result;
    for (size_t slot = 0; slot < votes.size(); ++slot) {
        if (votes[slot] >= minimumVotes) result.push_back({low + int64_t(slot), votes[slot], firstRow[slot]});
    }
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return a.votes != b.votes ? a.votes > b.votes : a.delta < b.delta;
    });
    return result;
}

double ScrollingFrameRaster::stillnessScore(const ScrollingFrameRaster& other) const {
    if (width != other.width || height != other.height || signatureLength != other.signatureLength ||
        signatureLength < 1) {
        return kUnscorable;
    }
    const int64_t step = stillnessStep(height);
    int64_t total = 0;
    int64_t rows = 0;
    for (int64_t r = 0; r < height; r += step, ++rows) total += signatureDifference(signature(r), other.signature(r), signatureLength);
    return double(total) / double(std::max<int64_t>(1, rows * signatureLength));
}

double ScrollingFrameRaster::changedRowShare(const ScrollingFrameRaster& other) const {
    if (width != other.width || height != other.height) return 1;
    const auto& mine = rowFingerprints;
    const auto& theirs = other.rowFingerprints;
    if (mine.empty() || mine.size() != theirs.size()) return 0;
    int64_t changed = 0;
    for (size_t i = 0; i < mine.size(); ++i) changed += mine[i] != theirs[i] ? 1 : 0;
    return double(changed) / double(mine.size());
}

std::optional<RowSampling> RowSampling::make(const ScrollingFrameRaster& previous, const ScrollingFrameRaster& current,
                                             ScrollingCaptureAlignment alignment) {
    const int64_t overlap = alignment.overlap;
    const int64_t inset = alignment.leadingInset;
    if (overlap <= 0 || previous.signatureLength <= 0 || previous.signatureLength != current.signatureLength) {
        return std::nullopt;
    }
    const int64_t previousStart = previous.height - overlap;
    if (previousStart < 0 || inset < 0 || inset > current.height - overlap) return std::nullopt;
    const int64_t count = previous.informativeCount(previousStart, previous.height);
    if (count <= 7) return std::nullopt;
    RowSampling sampling;
    sampling.previous = &previous;
    sampling.current = &current;
    sampling.firstInformative = previous.informativeRowPrefix[static_cast<size_t>(previousStart)];
    sampling.informativeCount = count;
    sampling.samples = std::min<int64_t>(24, count);
    sampling.rowOffset = inset - previousStart;
    return sampling;
}

int64_t RowSampling::previousRow(int64_t sample) const {
    int64_t index = sample;
    if (samples < informativeCount) {
        const uint32_t spread = static_cast<uint32_t>(sample) * 0x9E3779B9u;
        index = static_cast<int64_t>((uint64_t{spread} * static_cast<uint64_t>(informativeCount)) >> 32);
    }
    return previous->informativeRows[static_cast<size_t>(firstInformative + index)];
}

double ScrollingFrameRaster::alignmentScore(int64_t overlap, const ScrollingFrameRaster& current,
                                            int64_t currentLeadingInset, double scoreLimit) const {
    const auto sampling = RowSampling::make(*this, current, {currentLeadingInset, overlap});
    if (!sampling) return kUnscorable;
    const int64_t denominator = (sampling->samples - 1) * signatureLength;
    if (denominator < 1) return kUnscorable;
    const double limit = scoreLimit * double(denominator);
    int64_t total = 0;
    int64_t worst = 0;
    for (int64_t k = 0; k < sampling->samples; ++k) {
        const int64_t row = sampling->previousRow(k);
        const int64_t rowSAD = signatureDifference(signature(row), current.signature(row + sampling->rowOffset), signatureLength);
        total += rowSAD;
        worst = std::max(worst, rowSAD);
        if (double(total - worst) > limit) break;
    }
    return double(total - worst) / double(denominator);
}

}  // namespace tessarin
