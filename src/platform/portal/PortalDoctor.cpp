#include "platform/portal/PortalDoctor.h"

#include <algorithm>

#include "platform/portal/PortalScreenBackend.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;

struct PortalUse {
    const char* name;  // after "org.freedesktop.portal."
    const char* hintWhenMissing;
};

// The portals Tessarin uses, and what their absence means to a user.
constexpr PortalUse kPortalUses[] = {
    {"Screenshot",
     "no Screenshot portal: captures fail. Install xdg-desktop-portal-wlr (sway, wlroots), -gnome or -kde for your "
     "desktop"},
    {"ScreenCast",
     "no ScreenCast portal: scrolling capture and recording fail. Install xdg-desktop-portal-wlr, -gnome or -kde"},
    {"RemoteDesktop", "no RemoteDesktop portal: no auto-scroll; scroll by hand (capture-scrolling --no-auto-scroll)"},
    {"GlobalShortcuts",
     "no GlobalShortcuts portal: bind `tessarin` commands or tessarin:// links to your desktop's own shortcuts"},
};

}  // namespace

BackendDescription describePortals(const std::string& waylandDisplay,
                                   const Expected<std::vector<PortalInterface>, PortalError>& portals) {
    BackendDescription description;
    description.captureLabel = "screenshots (portal)";
    description.inputLabel = "scroll input (portal)";
    description.details.push_back(
        {"back end", "desktop portals (Wayland display " + (waylandDisplay.empty() ? std::string("default") : waylandDisplay) + ")"});
    description.noCaptureHint = {"capture-* needs the desktop's Screenshot portal on the session bus",
                                 "  (xdg-desktop-portal with xdg-desktop-portal-wlr, -gnome or -kde)."};
    if (!portals) {
        const bool noService = portals.error().kind == PortalError::Kind::missingPortal;
        description.details.push_back(
            {"portals", noService ? "none (xdg-desktop-portal is not running on the session bus)"
                                  : "none answer (" + portals.error().message + ")"});
        description.hints.push_back(portals.error().kind == PortalError::Kind::noBus
                                        ? "start tessarin inside the desktop session, whose D-Bus the portals are on"
                                        : "install xdg-desktop-portal and the back end for your desktop "
                                          "(xdg-desktop-portal-wlr, -gnome or -kde)");
        return description;
    }
    for (const PortalUse& use : kPortalUses) {
        const std::string name = std::string("org.freedesktop.portal.") + use.name;
        const auto found = std::find_if(portals->begin(), portals->end(),
                                        [&name](const PortalInterface& p) { return p.name == name; });
        if (found == portals->end()) {
            description.details.push_back({std::string("portal ") + use.name, "missing ✗"});
            description.hints.emplace_back(use.hintWhenMissing);
        } else {
            description.details.push_back({std::string("portal ") + use.name, "version " + std::to_string(found->version) + " ✓"});
        }
    }
    return description;
}

BackendDescription describePortalBackend(const std::string& waylandDisplay) {
    auto connection = PortalConnection::open();
    if (!connection) return describePortals(waylandDisplay, unexpected(connection.error()));
    return describePortals(waylandDisplay, availablePortals(**connection, 5s));
}

}  // namespace tessarin::portal
