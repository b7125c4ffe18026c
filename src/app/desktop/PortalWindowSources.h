#pragma once
// Window pick on Wayland. There is no window list for clients there: a
// window can only be had through the ScreenCast portal, whose own chooser
// lets the person pick it, and only where the desktop's portal back end
// shares single windows (GNOME's and KDE Plasma's do; the wlroots one,
// xdg-desktop-portal-wlr 0.7, shares whole outputs only).

#include <memory>
#include <optional>
#include <string>

#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "platform/portal/PortalWindowPick.h"

namespace tessarin {

struct ScreenCastSources {
    bool portal = false;   // the ScreenCast interface answered
    bool windows = false;  // it offers source type 2
};

// Reads the portal's AvailableSourceTypes (a few seconds at most).
ScreenCastSources screenCastSources(portal::PortalConnection& connection);

// Why a window cannot be picked here, for the person: names the missing
// portal or source type and which desktops provide it; empty where the
// portal shares single windows (the pick goes through its chooser).
std::string windowPickUnavailableReason(const ScreenCastSources& sources);

// The window picked in the portal's chooser (nothing when the person closed
// it or the pick was abandoned), or why no window can be picked on this
// desktop. Blocks while the person chooses: never on the interface thread.
Expected<std::optional<Image>, CaptureError> pickWindowInPortalChooser(
    std::shared_ptr<const portal::WindowPickAbandonment> abandonment);

}  // namespace tessarin
