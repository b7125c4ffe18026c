#pragma once
// Which application owns the frontmost normal window under a point, so the
// focus can go back to it after a capture.

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "core/screen/ScreenDescriptions.h"

namespace tessarin::WindowTargetResolver {

struct WindowInfo {
    int32_t ownerPID = 0;
    int layer = 0;
    Rect bounds;  // global points, top-left origin
};

// `point` is in global points with a bottom-left origin; `primaryFrame` is
// the primary display's frame, which fixes where top-left coordinates start.
// Windows are front to back.
std::optional<int32_t> ownerPID(Point point, const Rect& primaryFrame, const std::vector<WindowInfo>& windows,
                                const std::set<int32_t>& excludingProcessIDs);

}  // namespace tessarin::WindowTargetResolver
