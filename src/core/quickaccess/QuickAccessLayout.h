#pragma once
// Where Quick Access thumbnails stand: a column in a bottom corner of the
// display's visible frame, the oldest at the bottom, each newer one a pitch
// higher, never above the top margin. Frames are in top-left desktop
// coordinates (the X screen's), so "bottom" is the larger y.

#include <cstddef>

#include "core/common/Geometry.h"
#include "core/preferences/PreferenceValues.h"

namespace tessarin::QuickAccessLayout {

inline constexpr Size thumbnailSize{220, 165};
inline constexpr double margin = 16;
inline constexpr double pitch = thumbnailSize.height + margin;  // 181

// The origin (top-left corner) of thumbnail `index` (0 = oldest) in the
// visible frame of its display.
Point origin(const Rect& visibleFrame, QuickAccessPosition position, size_t index);

}  // namespace tessarin::QuickAccessLayout
