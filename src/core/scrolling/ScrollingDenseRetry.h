#pragma once
// The columns a denser signature needs when the sampled one cannot tell
// rows apart: in a log, a table or a numbered list the only differences
// between rows (a line number at the left edge, a few digits at the right)
// often fall between or outside the sampled columns, so every row looks
// like its neighbours and every alignment is ambiguous. Rows that look
// identical to the sampled signature are compared pixel by pixel, and the
// columns where they differ are the ones worth sampling.

#include <cstdint>
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

}  // namespace tessarin
