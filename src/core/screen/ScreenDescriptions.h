#pragma once
// What a screen back end reports about the desktop: its displays, its
// windows, and whether this process may read the screen or send input. The
// back ends produce these and the capture logic consumes them, so they live
// below both.
//
// Coordinate spaces:
//   - DisplayDescription::frame: global desktop points, origin at the
//     bottom-left of the primary display, y growing upwards.
//   - WindowDescription::frame: global points with a top-left origin (the
//     primary display's top-left corner), y growing downwards.

#include <cstdint>
#include <optional>
#include <string>

#include "core/common/Geometry.h"

namespace tessarin {

struct DisplayDescription {
    // Stable across restarts of the program and of the display server; none
    // when the platform cannot name the display.
    std::optional<uint32_t> displayID;
    std::string name;  // the platform's own name, e.g. "DP-1"
    Rect frame;        // global points, bottom-left origin
    Rect visibleFrame; // frame less panels and docks
    double scale = 1;  // device pixels per point, never below 1
    int64_t pixelWidth = 0;
    int64_t pixelHeight = 0;
    bool primary = false;

    friend bool operator==(const DisplayDescription&, const DisplayDescription&) = default;
};

struct WindowDescription {
    uint32_t windowID = 0;
    int32_t processID = 0;  // 0 when unknown
    std::string app;        // what a user calls the application
    std::string title;
    Rect frame;             // global points, top-left origin
    int layer = 0;          // 0 for normal application windows
    bool onScreen = true;
};

struct AccessStatus {
    bool granted = false;
    std::string detail;  // why not, or which server; for doctor and errors
    // What to tell the user when refused, where the back end has its own
    // words (a desktop without the portal it needs); else the caller's.
    std::optional<std::string> refusal = std::nullopt;
};

}  // namespace tessarin
