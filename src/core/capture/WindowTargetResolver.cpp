#include "core/capture/WindowTargetResolver.h"

namespace tessarin::WindowTargetResolver {

std::optional<int32_t> ownerPID(Point point, const Rect& primaryFrame, const std::vector<WindowInfo>& windows,
                                const std::set<int32_t>& excludingProcessIDs) {
    // Top-left global space starts at the primary display's top-left corner.
    const Point topLeft{point.x, primaryFrame.maxY() - point.y};
    for (const auto& w : windows) {
        if (excludingProcessIDs.contains(w.ownerPID) || w.layer != 0) continue;
        if (w.bounds.containsInclusive(topLeft)) return w.ownerPID;
    }
    return std::nullopt;
}

}  // namespace tessarin::WindowTargetResolver
