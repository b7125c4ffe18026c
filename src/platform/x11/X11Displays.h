#pragma once
// Monitors of an X screen (RandR 1.5 monitors, or the whole root window when
// the server has none), and the layout snapshot every conversion needs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/CaptureError.h"
#include "platform/ScreenBackend.h"
#include "platform/x11/RootCoordinates.h"

namespace tessarin::x11 {

class X11Connection;

struct X11Monitor {
    std::string name;  // the RandR monitor name ("DP-1", "DUMMY0"), or "screen" for the whole root
    PixelRect root;    // where it lies in the root window
    bool primary = false;
    friend bool operator==(const X11Monitor&, const X11Monitor&) = default;
};

// 32-bit FNV-1a. Monitor names survive server restarts while RandR XIDs do
// not, so display ids are hashes of names.
constexpr uint32_t fnv1a32(std::string_view text) {
    uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 16777619u;
    }
    return hash;
}

// The display id of a monitor; none when it has no name.
std::optional<uint32_t> displayIDForName(std::string_view name);

// Drops empty monitors, then puts the primary first and keeps server order
// for the rest. When no monitor is flagged primary (Xvfb's is not) the first
// one becomes the primary: global coordinates need an origin.
std::vector<X11Monitor> orderMonitors(std::vector<X11Monitor> monitors);

// What one call of the back end sees of the desktop: monitors in order
// (never empty, primary first), how to convert coordinates, and the
// window manager's work area in root pixels when it publishes one.
struct DesktopLayout {
    std::vector<X11Monitor> monitors;
    RootCoordinates coordinates;
    std::optional<PixelRect> workArea;

    const X11Monitor* monitorWithID(uint32_t displayID) const;
};

// Assembles a layout; `monitors` must already be ordered and not empty.
DesktopLayout makeDesktopLayout(std::vector<X11Monitor> monitors, double scale, std::optional<PixelRect> workArea);

std::vector<DisplayDescription> describeDisplays(const DesktopLayout& layout);

// Reads monitors, scale and work area from the server. `gdkScale` is the
// GDK_SCALE environment value when set.
Expected<DesktopLayout, CaptureError> readDesktopLayout(const X11Connection& connection,
                                                        std::optional<std::string_view> gdkScale);

}  // namespace tessarin::x11
