#include "core/quickaccess/QuickAccessLayout.h"

#include <algorithm>

namespace tessarin::QuickAccessLayout {

Point origin(const Rect& visibleFrame, QuickAccessPosition position, size_t index) {
    const Rect frame = visibleFrame.standardized();
    const double x = position == QuickAccessPosition::bottomLeft ? frame.minX() + margin
                                                                  : frame.maxX() - thumbnailSize.width - margin;
    const double stacked = frame.maxY() - margin - thumbnailSize.height - static_cast<double>(index) * pitch;
    // A column taller than the display piles up under the top margin.
    const double y = std::max(stacked, frame.minY() + margin);
    return {x, y};
}

}  // namespace tessarin::QuickAccessLayout
