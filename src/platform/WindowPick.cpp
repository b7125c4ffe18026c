#include "platform/WindowPick.h"

namespace tessarin {

namespace {

bool containsHalfOpen(const Rect& frame, Point p) {
    return p.x >= frame.minX() && p.x < frame.maxX() && p.y >= frame.minY() && p.y < frame.maxY();
}

bool isExcluded(const WindowDescription& window, const WindowPickExclusions& exclusions) {
    if (exclusions.windowIDs.contains(window.windowID)) return true;
    return exclusions.processID && window.processID != 0 && window.processID == *exclusions.processID;
}

}  // namespace

bool isPickableKind(WindowKind kind) {
    switch (kind) {
        case WindowKind::normal:
        case WindowKind::dialog:
        case WindowKind::utility: return true;
        case WindowKind::dock:
        case WindowKind::desktop:
        case WindowKind::popup: return false;
    }
    return false;
}

Point windowSpacePoint(Point displaySpace, double primaryDisplayHeight) {
    return {displaySpace.x, primaryDisplayHeight - displaySpace.y};
}

Rect displaySpaceRect(const Rect& windowSpace, double primaryDisplayHeight) {
    const Rect r = windowSpace.standardized();
    return {r.x, primaryDisplayHeight - r.maxY(), r.width, r.height};
}

std::optional<WindowDescription> topmostPickableWindowAt(const std::vector<PickableWindow>& windowsTopmostFirst,
                                                         Point globalTopLeft, const WindowPickExclusions& exclusions) {
    for (const PickableWindow& window : windowsTopmostFirst) {
        const WindowDescription& description = window.description;
        if (window.hidden || !description.onScreen || !isPickableKind(window.kind)) continue;
        if (description.frame.isEmpty() || !description.frame.isFinite()) continue;
        if (isExcluded(description, exclusions)) continue;
        if (containsHalfOpen(description.frame, globalTopLeft)) return description;
    }
    return std::nullopt;
}

}  // namespace tessarin
