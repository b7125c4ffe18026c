#pragma once
// The displays of a Wayland session, read from the compositor: wl_output
// gives each output's mode (device pixels), integer scale and transform, and
// xdg-output (zxdg_output_manager_v1) its name and its place in the layout in
// logical coordinates. A Wayland client learns nothing else about the
// desktop; the portal's screenshot is laid out in these same coordinates.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/screen/ScreenDescriptions.h"

namespace tessarin::portal {

struct WaylandOutput {
    std::string name;         // e.g. "HEADLESS-1", "DP-1"
    std::string description;  // the compositor's words for it
    // The layout, in logical coordinates (top-left origin, y down).
    int32_t x = 0;
    int32_t y = 0;
    int32_t logicalWidth = 0;
    int32_t logicalHeight = 0;
    // The current mode, in device pixels, before the transform.
    int32_t modeWidth = 0;
    int32_t modeHeight = 0;
    int32_t scale = 1;      // wl_output's integer scale (fractional scales round up here)
    int32_t transform = 0;  // wl_output_transform: odd values turn the output a quarter
    friend bool operator==(const WaylandOutput&, const WaylandOutput&) = default;
};

// The outputs of the compositor at `display` (empty: $WAYLAND_DISPLAY), in
// the order it announced them; a clear error when it cannot be reached or
// does not answer within `timeout`, or lacks xdg-output.
Expected<std::vector<WaylandOutput>, std::string> readWaylandOutputs(const std::string& display,
                                                                    std::chrono::milliseconds timeout);

// Outputs as displays: frames in global points with a bottom-left origin at
// the primary display (the output at the layout's origin, else the first),
// which comes first; pixel sizes after the transform; scale = device pixels
// per logical point (fractional scales too). Outputs without a size are left
// out.
std::vector<DisplayDescription> describeWaylandOutputs(const std::vector<WaylandOutput>& outputs);

// The output's device pixel size after its transform.
int64_t outputPixelWidth(const WaylandOutput& output);
int64_t outputPixelHeight(const WaylandOutput& output);

}  // namespace tessarin::portal
