#include "core/scrolling/ScrollingDenseRetry.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessarin {
namespace {

// Ors into `differs[x]` the colour bits in which pixel x of two rows differ
// (alpha ignored).
void markDifferences(const uint8_t* a, const uint8_t* b, int64_t width, uint32_t* differs) {
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
}

struct RowGroup {
    size_t begin = 0;  // into the rows sorted by signature hash
    size_t end = 0;
};

}  // namespace

std::vector<int64_t> discriminatingColumns(const RegionFrame& frame, const ScrollingFrameRaster& sampled,
                                           const DenseColumnLimits& limits) {
    if (!frame.isWellFormed() || frame.width != sampled.width || sampled.signatureLength <= 0 ||
        limits.maximumColumns <= 0) {
        return {};
    }
    const int64_t height = std::min(frame.height, sampled.height);
    std::vector<std::pair<uint64_t, int32_t>> rows;
    rows.reserve(static_cast<size_t>(height));
    for (int64_t r = 0; r < height; ++r) {
        rows.emplace_back(rowHash(sampled.signature(r), static_cast<size_t>(sampled.signatureLength)), int32_t(r));
    }
    std::sort(rows.begin(), rows.end());
    std::vector<RowGroup> groups;
    for (size_t begin = 0; begin < rows.size();) {
        size_t end = begin + 1;
        while (end < rows.size() && rows[end].first == rows[begin].first) ++end;
        if (end - begin >= 2) groups.push_back({begin, end});
        begin = end;
    }
    if (groups.empty()) return {};

    // Every look-alike group gets its share of the comparisons, spread over
    // its members, each compared with the group's first row: a row number
    // changes its last digit from line to line but its tens only every
    // tenth line, and both must be seen.
    const int64_t share = std::max<int64_t>(1, limits.maximumComparisons / int64_t(groups.size()));
    std::vector<uint32_t> differs(static_cast<size_t>(frame.width), 0);
    for (const auto& group : groups) {
        const int64_t others = int64_t(group.end - group.begin) - 1;
        const int64_t stride = (others + share - 1) / share;
        const uint8_t* first = frame.row(rows[group.begin].second);
        for (int64_t k = 1; k <= others; k += stride) {
            markDifferences(first, frame.row(rows[group.begin + size_t(k)].second), frame.width, differs.data());
        }
    }
    std::vector<int64_t> columns;
    for (int64_t x = 0; x < frame.width; ++x) {
        if (differs[static_cast<size_t>(x)] != 0) columns.push_back(x);
    }
    if (int64_t(columns.size()) <= limits.maximumColumns) return columns;
    std::vector<int64_t> thinned(static_cast<size_t>(limits.maximumColumns));
    for (int64_t i = 0; i < limits.maximumColumns; ++i) {
        thinned[static_cast<size_t>(i)] = columns[static_cast<size_t>(i * int64_t(columns.size()) / limits.maximumColumns)];
    }
    return thinned;
}

}  // namespace tessarin
