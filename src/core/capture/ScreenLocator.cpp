#include "core/capture/ScreenLocator.h"

#include <algorithm>
#include <limits>

namespace tessarin::ScreenLocator {

std::optional<DisplayDescription> screen(Point point, const std::vector<DisplayDescription>& displays) {
    for (const auto& d : displays) {
        if (d.frame.containsInclusive(point)) return d;
    }
    const DisplayDescription* nearest = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const auto& d : displays) {
        const double dx = std::max({d.frame.minX() - point.x, 0.0, point.x - d.frame.maxX()});
        const double dy = std::max({d.frame.minY() - point.y, 0.0, point.y - d.frame.maxY()});
        const double distance = dx * dx + dy * dy;
        if (distance < best) {
            best = distance;
            nearest = &d;
        }
    }
    if (!nearest) return std::nullopt;
    return *nearest;
}

}  // namespace tessarin::ScreenLocator
