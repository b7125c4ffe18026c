#pragma once
// Which screen back end a session gets, decided from its environment alone
// (a pure function, so every case is tested without a display server).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessarin {

struct PlatformChoice {
    enum class Kind { x11, portal, null };
    Kind kind = Kind::null;
    std::string display;  // x11: the X display to open; portal: WAYLAND_DISPLAY (empty when unset)
    std::string reason;   // null: why nothing can be captured
    friend bool operator==(const PlatformChoice&, const PlatformChoice&) = default;
};

// A variable's value; nothing when it is unset or empty.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;
EnvironmentLookup processEnvironment();

// TESSARIN_PLATFORM=null forces the null back end. TESSARIN_BACKEND=x11 or
// =portal forces that back end (TESSARIN_PLATFORM=x11 still forces X11).
// Otherwise a Wayland session (WAYLAND_DISPLAY set, or
// XDG_SESSION_TYPE=wayland) gets the portal back end even when DISPLAY is
// set: through Xwayland the X11 back end sees only X clients' windows and
// gives black or partial images of everything else, reporting success.
// Elsewhere X11 on DISPLAY.
PlatformChoice choosePlatform(const EnvironmentLookup& environment);

}  // namespace tessarin
