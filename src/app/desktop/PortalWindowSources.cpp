#include "app/desktop/PortalWindowSources.h"

#include "core/common/Log.h"
#include "platform/portal/PortalScreenCast.h"

namespace tessarin {

ScreenCastSources screenCastSources(portal::PortalConnection& connection) {
    const auto types = portal::castSourceTypes(connection, std::chrono::seconds(3));
    if (!types) return {};
    return {true, (*types & portal::kCastWindowSource) != 0};
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

Expected<std::optional<Image>, CaptureError> pickWindowInPortalChooser(
    std::shared_ptr<const portal::WindowPickAbandonment> abandonment) {
    auto connection = portal::PortalConnection::open();
    const ScreenCastSources sources = connection ? screenCastSources(*connection.value()) : ScreenCastSources{};
    if (!sources.windows) {
        const std::string reason = windowPickUnavailableReason(sources);
        logLine(LogLevel::info, LogCategory::capture, "window.pick unavailable: " + reason);
        return unexpected(CaptureError::captureFailed(reason));
    }
    logLine(LogLevel::info, LogCategory::capture, "window.pick portal_chooser");
    return portal::pickWindowThroughPortal(connection.value(), {}, std::move(abandonment));
}

}  // namespace tessarin
