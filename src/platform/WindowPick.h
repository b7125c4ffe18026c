#pragma once
// Picking a window with the pointer: the topmost application window under a
// point, and the rectangle to highlight (and capture) for it.
//
// The window list comes from the screen back end, topmost first, each
// window's frame being its client area in global points with a top-left
// origin (WindowDescription::frame), which is also what a window capture
// reads. The back end adds what a pick needs beyond that: the window's kind
// and whether it is hidden (minimised windows some window managers keep
// mapped).

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/CaptureError.h"
#include "core/screen/ScreenDescriptions.h"

namespace tessarin {

enum class WindowKind {
    normal,   // also windows that name no kind
    dialog,
    utility,  // tool palettes, toolbars, splash screens
    dock,     // panels and task bars
    desktop,  // the desktop's background window
    popup,    // menus, tooltips, notifications, drag icons
};

struct PickableWindow {
    WindowDescription description;
    WindowKind kind = WindowKind::normal;
    bool hidden = false;  // minimised or otherwise not shown although mapped
};

// Our own windows (the overlay, the thumbnail, the editor) are never picked.
struct WindowPickExclusions {
    std::optional<int32_t> processID;  // every window of this process
    std::set<uint32_t> windowIDs;
};

// Whether a window of this kind can be the target of a window capture.
bool isPickableKind(WindowKind kind);

// The first window of `windowsTopmostFirst` that contains `globalTopLeft`
// (global points, top-left origin; a frame's left and top edges belong to
// it, its right and bottom edges to its neighbour), skipping excluded,
// hidden and unpickable windows and windows of no size; none when the point
// is over no such window.
std::optional<WindowDescription> topmostPickableWindowAt(const std::vector<PickableWindow>& windowsTopmostFirst,
                                                         Point globalTopLeft, const WindowPickExclusions& exclusions);

// The pointer and display frames are global points with a bottom-left
// origin (y up), window frames global points with a top-left origin (y
// down); both have their origin on the primary display, whose frame height
// (in points) turns one into the other.
Point windowSpacePoint(Point displaySpace, double primaryDisplayHeight);
Rect displaySpaceRect(const Rect& windowSpace, double primaryDisplayHeight);

// The windows to pick from, topmost first.
class PickableWindowSource {
public:
    virtual ~PickableWindowSource() = default;
    virtual Expected<std::vector<PickableWindow>, CaptureError> pickableWindows() = 0;
};

}  // namespace tessarin
