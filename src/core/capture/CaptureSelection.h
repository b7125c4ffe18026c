#pragma once
// What is captured: a rectangle in global desktop points on one display, and
// the layout values used to place a remembered area on today's displays.

#include <cstdint>

#include "core/common/Geometry.h"
#include "core/screen/ScreenDescriptions.h"

namespace tessarin {

struct CaptureSelection {
    DisplayDescription screen;
    Rect rect;  // global points, bottom-left origin
    friend bool operator==(const CaptureSelection&, const CaptureSelection&) = default;
};

struct ScreenLayout {
    uint32_t displayID = 0;
    Rect frame;         // global points
    Rect visibleFrame;  // global points
    friend bool operator==(const ScreenLayout&, const ScreenLayout&) = default;
};

struct ResolvedArea {
    uint32_t displayID = 0;
    Rect rect;  // global points
    friend bool operator==(const ResolvedArea&, const ResolvedArea&) = default;
};

}  // namespace tessarin
