#include "app/desktop/PortalWindowSources.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace tessarin {
namespace {

constexpr int kCallTimeoutMs = 3000;
constexpr uint kMonitorSource = 1;
constexpr uint kWindowSource = 2;

}  // namespace

ScreenCastSources screenCastSources() {
    ScreenCastSources sources;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return sources;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask.setArguments({QStringLiteral("org.freedesktop.portal.ScreenCast"), QStringLiteral("AvailableSourceTypes")});
    const QDBusMessage answer = bus.call(ask, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) return sources;
    const uint types = answer.arguments().value(0).value<QDBusVariant>().variant().toUInt();
    sources.portal = true;
    sources.monitors = (types & kMonitorSource) != 0;
    sources.windows = (types & kWindowSource) != 0;
    return sources;
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
