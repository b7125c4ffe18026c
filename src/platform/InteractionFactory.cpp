#include "platform/InteractionFactory.h"

#include "core/common/Log.h"
#include "platform/PlatformChoice.h"
#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/X11WindowHider.h"

namespace tessarin {

struct DesktopInteraction::Connection {
    std::unique_ptr<x11::X11Connection> x11;
};

DesktopInteraction::DesktopInteraction() = default;
DesktopInteraction::~DesktopInteraction() {
    // The services first: they use the shared connection.
    ownWindows_.reset();
    compositor_.reset();
    activeWindow_.reset();
}
DesktopInteraction::DesktopInteraction(DesktopInteraction&&) noexcept = default;

DesktopInteraction DesktopInteraction::open() {
    DesktopInteraction services;
    auto useNull = [&services](std::string reason) {
        logLine(LogLevel::debug, LogCategory::capture, "interaction.services name=null reason=\"" + reason + "\"");
        services.activeWindow_ = std::make_unique<NullActiveWindowTracker>(reason);
        services.compositor_ = std::make_unique<NullCompositorProbe>();
        services.ownWindows_ = std::make_unique<NullOwnWindowHider>();
        services.unavailableReason_ = std::move(reason);
        return std::move(services);
    };
    const PlatformChoice choice = choosePlatform(processEnvironment());
    if (choice.kind == PlatformChoice::Kind::null) return useNull(choice.reason);
    if (choice.kind == PlatformChoice::Kind::portal) return useNull(std::string(kWaylandInteractionReason));
    auto tracker = x11::X11ActiveWindowTracker::open(choice.display);
    if (!tracker) return useNull(tracker.error());
    auto connection = x11::X11Connection::open(choice.display);
    if (!connection) return useNull(connection.error());
    services.connection_ = std::make_unique<Connection>(Connection{std::move(connection.value())});
    services.activeWindow_ = std::move(tracker.value());
    services.compositor_ = std::make_unique<x11::X11CompositorProbe>(*services.connection_->x11);
    services.ownWindows_ = std::make_unique<x11::X11WindowHider>(*services.connection_->x11);
    logLine(LogLevel::debug, LogCategory::capture, "interaction.services name=x11 display=" + choice.display);
    return services;
}

}  // namespace tessarin
