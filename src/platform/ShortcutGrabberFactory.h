#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/GlobalShortcutGrabber.h"

namespace tessarin {

// The key grabber for this session, chosen as the screen back end is
// (choosePlatform in PlatformChoice.h): X11 when DISPLAY names a reachable
// server outside a Wayland session, otherwise a NullGlobalShortcutGrabber
// whose grabs fail with the reason, which `whyNot` (when given) receives too.
std::unique_ptr<GlobalShortcutGrabber> makeGlobalShortcutGrabber(std::string* whyNot = nullptr);

// Why a Wayland session gets no key grabs through Xwayland.
inline constexpr std::string_view kWaylandShortcutsReason =
    "this is a Wayland session, where an X key grab only sees keys typed into X programs; global shortcuts "
    "need the Wayland back end, which is not built yet (TESSARIN_PLATFORM=x11 grabs through Xwayland anyway)";

}  // namespace tessarin
