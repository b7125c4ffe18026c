#pragma once

#include <optional>
#include <vector>

#include "core/screen/ScreenDescriptions.h"

namespace tessarin::ScreenLocator {

// The display whose frame holds the global point (edges included), else the
// nearest one; none only when there are no displays.
std::optional<DisplayDescription> screen(Point point, const std::vector<DisplayDescription>& displays);

}  // namespace tessarin::ScreenLocator
