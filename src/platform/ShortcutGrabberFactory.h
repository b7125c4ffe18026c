#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "platform/GlobalShortcutGrabber.h"
#include "platform/portal/PortalShortcutGrabber.h"

namespace tessarin {

// The key grabber for this session, chosen as the screen back end is
// (choosePlatform in PlatformChoice.h): X11 when DISPLAY names a reachable
// server outside a Wayland session, otherwise a NullGlobalShortcutGrabber
// whose grabs fail with the reason, which `whyNot` (when given) receives too.
std::unique_ptr<GlobalShortcutGrabber> makeGlobalShortcutGrabber(std::string* whyNot = nullptr);

// The desktop application's: makeGlobalShortcutGrabber's, except that a
// Wayland session goes through the desktop's GlobalShortcuts portal
// (offering `offered`, one per grab id), which only some desktops have.
// Without it every grab fails with `whyNot`, and `throughDesktop` says the
// person binds our links to the desktop's own keys instead.
std::unique_ptr<GlobalShortcutGrabber> makeDesktopShortcutGrabber(std::vector<PortalShortcutOffer> offered,
                                                                  std::string& whyNot, bool& throughDesktop);

// Why a Wayland session gets no key grabs through Xwayland.
inline constexpr std::string_view kWaylandShortcutsReason =
    "this is a Wayland session, where an X key grab only sees keys typed into X programs; global shortcuts "
    "go through the desktop's GlobalShortcuts portal (TESSARIN_PLATFORM=x11 grabs through Xwayland anyway)";

}  // namespace tessarin
