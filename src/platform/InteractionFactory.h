#pragma once
// The interactive capture's desktop services for this session, chosen as
// the screen back end is (choosePlatform in PlatformChoice.h): X11 on one
// connection of their own when DISPLAY names a reachable server outside a
// Wayland session, otherwise null ones that say why.
//
// The keyboard grab is not among them: it must be made on the connection of
// the toolkit that owns the overlay window, so the toolkit makes it.

#include <memory>
#include <string>
#include <string_view>

#include "platform/ActiveWindowTracker.h"
#include "platform/CompositorProbe.h"
#include "platform/OwnWindowHider.h"

namespace tessarin {

// Why a Wayland session gets null services: its clients see neither the
// active window nor the others, and cannot hide or place windows globally.
inline constexpr std::string_view kWaylandInteractionReason =
    "this is a Wayland session, where a program cannot see the active window or other programs' windows";

class DesktopInteraction {
public:
    static DesktopInteraction open();

    ~DesktopInteraction();
    DesktopInteraction(DesktopInteraction&&) noexcept;
    DesktopInteraction& operator=(DesktopInteraction&&) = delete;

    ActiveWindowTracker& activeWindow() { return *activeWindow_; }
    CompositorProbe& compositor() { return *compositor_; }
    OwnWindowHider& ownWindows() { return *ownWindows_; }
    // Why the services are null ones; empty on X11.
    const std::string& unavailableReason() const { return unavailableReason_; }

private:
    DesktopInteraction();
    struct Connection;  // what the X11 services share, destroyed after them

    std::unique_ptr<Connection> connection_;
    std::unique_ptr<ActiveWindowTracker> activeWindow_;
    std::unique_ptr<CompositorProbe> compositor_;
    std::unique_ptr<OwnWindowHider> ownWindows_;
    std::string unavailableReason_;
};

}  // namespace tessarin
