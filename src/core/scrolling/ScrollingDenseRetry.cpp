#include "core/scrolling/ScrollingDenseRetry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace tessarin {
namespace {

using PixelOrder = ScrollingFrameRaster::PixelOrder;

// A pixel's colour as 0x00BBGGRR whatever its order (alpha dropped).
uint32_t colourAt(const uint8_t* row, int64_t x, PixelOrder order) {
    const uint8_t* p = row + x * 4;
    const uint32_t red = order == PixelOrder::rgba ? p[0] : p[2];
    const uint32_t blue = order == PixelOrder::rgba ? p[2] : p[0];
    return red | uint32_t{p[1]} << 8 | blue << 16;
}

// Ors into `differs[x]` the colour bits in which pixel x of two rows differ.
void markDifferences(const uint8_t* a, PixelOrder aOrder, const uint8_t* b, PixelOrder bOrder, int64_t width,
                     uint32_t* differs) {
    if (aOrder == bOrder) {
        static constexpr uint8_t kColourBytes[4] = {0xff, 0xff, 0xff, 0};
        uint32_t colour = 0;
        std::memcpy(&colour, kColourBytes, 4);
        for (int64_t x = 0; x < width; ++x) {
            uint32_t p = 0;
            uint32_t q = 0;
            std::memcpy(&p, a + x * 4, 4);
            std::memcpy(&q, b + x * 4, 4);
            differs[x] |= (p ^ q) & colour;
        }
        return;
    }
    for (int64_t x = 0; x < width; ++x) differs[x] |= colourAt(a, x, aOrder) ^ colourAt(b, x, bOrder);
}

struct RowKey {
    uint64_t hash = 0;
    int32_t frame = 0;  // 0 or 1
    int32_t row = 0;
    friend auto operator<=>(const RowKey&, const RowKey&) = default;
};

struct RowGroup {
    size_t begin = 0;  // into the rows sorted by signature hash
    size_t end = 0;
    size_t firstOfSecondFrame = 0;  // == end when only the first frame has rows here
};

}  // namespace

std::vector<int64_t> discriminatingColumns(const DenseRowSource& first, const DenseRowSource& second,
                                           const DenseColumnLimits& limits) {
    const std::array<const DenseRowSource*, 2> sources = {&first, &second};
    int64_t width = -1;
    for (const auto* source : sources) {
        if (!source->sampled) continue;
        if (!source->row || source->sampled->signatureLength <= 0) return {};
        if (width >= 0 && source->sampled->width != width) return {};
        width = source->sampled->width;
    }
    if (width <= 0 || limits.maximumColumns <= 0) return {};

    std::vector<RowKey> rows;
    for (int32_t f = 0; f < 2; ++f) {
        const ScrollingFrameRaster* sampled = sources[size_t(f)]->sampled;
        if (!sampled) continue;
        for (int64_t r = std::max<int64_t>(0, sources[size_t(f)]->firstRow); r < sampled->height; ++r) {
            rows.push_back({rowHash(sampled->signature(r), static_cast<size_t>(sampled->signatureLength)), f,
                            int32_t(r)});
        }
    }
    std::sort(rows.begin(), rows.end());
    std::vector<RowGroup> groups;
    for (size_t begin = 0; begin < rows.size();) {
        size_t end = begin + 1;
        while (end < rows.size() && rows[end].hash == rows[begin].hash) ++end;
        size_t firstOfSecond = begin;
        while (firstOfSecond < end && rows[firstOfSecond].frame == 0) ++firstOfSecond;
        if (end - begin >= 2) groups.push_back({begin, end, firstOfSecond});
        begin = end;
    }
    if (groups.empty()) return {};

    const auto rowOf = [&](const RowKey& key) { return sources[size_t(key.frame)]->row(key.row); };
    const auto orderOf = [&](const RowKey& key) { return sources[size_t(key.frame)]->order; };
    // Every look-alike group gets its share of the comparisons, spread over
    // its members, each compared with the group's first row: a row number
    // changes its last digit from line to line but its tens only every
    // tenth line, and both must be seen. A group holding rows of both
    // frames also compares one row across them.
    const int64_t share = std::max<int64_t>(1, limits.maximumComparisons / int64_t(groups.size()));
    std::vector<uint32_t> differs(static_cast<size_t>(width), 0);
    for (const auto& group : groups) {
        const RowKey& head = rows[group.begin];
        const uint8_t* headRow = rowOf(head);
        const int64_t others = int64_t(group.end - group.begin) - 1;
        const int64_t stride = (others + share - 1) / share;
        for (int64_t k = 1; k <= others; k += stride) {
            const RowKey& other = rows[group.begin + size_t(k)];
            markDifferences(headRow, orderOf(head), rowOf(other), orderOf(other), width, differs.data());
        }
        if (group.firstOfSecondFrame > group.begin && group.firstOfSecondFrame < group.end) {
            const RowKey& other = rows[group.firstOfSecondFrame];
            markDifferences(headRow, orderOf(head), rowOf(other), orderOf(other), width, differs.data());
        }
    }
    std::vector<int64_t> columns;
    for (int64_t x = 0; x < width; ++x) {
        if (differs[static_cast<size_t>(x)] != 0) columns.push_back(x);
    }
    if (int64_t(columns.size()) <= limits.maximumColumns) return columns;
    std::vector<int64_t> thinned(static_cast<size_t>(limits.maximumColumns));
    for (int64_t i = 0; i < limits.maximumColumns; ++i) {
        thinned[static_cast<size_t>(i)] = columns[static_cast<size_t>(i * int64_t(columns.size()) / limits.maximumColumns)];
    }
    return thinned;
}

std::vector<int64_t> discriminatingColumns(const RegionFrame& frame, const ScrollingFrameRaster& sampled,
                                           const DenseColumnLimits& limits) {
    if (!frame.isWellFormed() || frame.width != sampled.width || frame.height < sampled.height) return {};
    return discriminatingColumns({&sampled, [&frame](int64_t y) { return frame.row(y); }, PixelOrder::bgra}, {},
                                 limits);
}

}  // namespace tessarin
