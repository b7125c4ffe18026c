#include "app/desktop/PortalWindowSources.h"

#include "platform/portal/PortalScreenCast.h"

namespace tessarin {

ScreenCastSources screenCastSources() {
    auto connection = portal::PortalConnection::open();
    if (!connection) return {};
    const auto types = portal::castSourceTypes(*connection.value(), std::chrono::seconds(3));
    if (!types) return {};
    return {true, (*types & portal::kCastMonitorSource) != 0, (*types & portal::kCastWindowSource) != 0};
}

std::string windowPickUnavailableReason(const ScreenCastSources& sources) {
    const std::string instead =
        " GNOME's and KDE Plasma's portals let you pick a window in their own chooser. Capture an area or the "
        "full screen instead.";
    if (!sources.portal) {
        return "Picking a window is not available on this desktop: it has no screen-sharing portal "
               "(org.freedesktop.portal.ScreenCast), and Wayland gives applications no window list." +
               instead;
    }
    if (!sources.windows) {
        return "Picking a window is not available on this desktop: its screen-sharing portal shares whole "
               "screens only, no single windows (xdg-desktop-portal-wlr, for example), and Wayland gives "
               "applications no window list." +
               instead;
    }
    // A portal that shares windows lets the person pick one in its chooser.
    return {};
}

}  // namespace tessarin
