#pragma once
// The columns a denser signature needs when the sampled one cannot tell
// rows apart: in a log, a table or a numbered list the only differences
// between rows (a line number at the left edge, a few digits at the right)
// often fall between or outside the sampled columns, so every row looks
// like its neighbours and every alignment is ambiguous. Rows that look
// identical to the sampled signature are compared pixel by pixel, and the
// columns where they differ are the ones worth sampling.

#include <cstdint>
#include <functional>
#include <vector>

#include "core/scrolling/ScrollingFrameRaster.h"

namespace tessarin {

struct DenseColumnLimits {
    int64_t maximumColumns = 256;       // 768 signature bytes a row
    int64_t maximumComparisons = 256;   // row pairs compared pixel by pixel
};

// Columns of `frame` where rows with the same signature in `sampled` (its
// raster) differ, ascending; evenly thinned to the limit. Empty when such
// rows are identical throughout (or there are none): a denser signature
// would see no more than the sampled one.
std::vector<int64_t> discriminatingColumns(const RegionFrame& frame, const ScrollingFrameRaster& sampled,
                                           const DenseColumnLimits& limits = {});

// One frame's rows as the column choice reads them: its sampled raster and
// its pixels, in either order.
struct DenseRowSource {
    const ScrollingFrameRaster* sampled = nullptr;
    std::function<const uint8_t*(int64_t)> row;
    ScrollingFrameRaster::PixelOrder order = ScrollingFrameRaster::PixelOrder::bgra;
    int64_t firstRow = 0;  // rows above it are not known for certain
};

// The same over two frames at once (the previous and the new one): rows of
// either with the same signature are compared, across the frames too. A
// digit that is the same on every line of one frame (the hundreds of a
// line number) but differs from the other's is only seen that way, and a
// reading that confuses the two frames' lines must be able to fail.
std::vector<int64_t> discriminatingColumns(const DenseRowSource& first, const DenseRowSource& second,
                                           const DenseColumnLimits& limits = {});

}  // namespace tessarin
