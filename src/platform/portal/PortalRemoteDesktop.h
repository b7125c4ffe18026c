#pragma once
// Synthetic pointer input on Wayland, for auto-scroll: a session of
// org.freedesktop.portal.RemoteDesktop with the pointer device and one
// monitor shared through ScreenCast on the same session (absolute pointer
// moves are given in a stream's pixels). Desktops whose portal lacks
// RemoteDesktop (xdg-desktop-portal-wlr) cannot auto-scroll; the message
// says which portal is missing.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/ScreenDescriptions.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalScreenCast.h"

namespace tessarin::portal {

inline constexpr const char* kRemoteDesktopInterface = "org.freedesktop.portal.RemoteDesktop";

// What auto-scroll says where the desktop portal has no RemoteDesktop.
inline constexpr const char* kNoRemoteDesktopMessage =
    "auto-scroll needs the desktop portal's remote desktop interface (org.freedesktop.portal.RemoteDesktop), "
    "which this desktop does not offer; pass --no-auto-scroll and scroll by hand";

// Whether the desktop portal offers RemoteDesktop (its version, 0 when not).
uint32_t remoteDesktopVersion(PortalConnection& connection, std::chrono::milliseconds timeout);
// Synthetic input as the back end reports it: granted where RemoteDesktop
// exists (the portal asks the user on first use), else refused with the
// message naming the missing portal.
AccessStatus remoteDesktopAccess(PortalConnection& connection, std::chrono::milliseconds timeout);

// Wheel clicks as the portal counts them (positive: down, towards the end)
// for our lines (negative: the content moves towards its end).
int32_t discreteAxisSteps(int32_t lines);

// The stream holding a layout point and the point in that stream's pixels.
struct StreamPoint {
    uint32_t nodeID = 0;
    Point position;
};
std::optional<StreamPoint> streamPointFor(const std::vector<CastStream>& streams, Point layoutPoint);

class PortalRemoteDesktop {
public:
    static Expected<std::unique_ptr<PortalRemoteDesktop>, PortalError> start(std::shared_ptr<PortalConnection> connection,
                                                                              std::chrono::milliseconds timeout);
    ~PortalRemoteDesktop();
    PortalRemoteDesktop(const PortalRemoteDesktop&) = delete;
    PortalRemoteDesktop& operator=(const PortalRemoteDesktop&) = delete;

    // Wheel clicks at the pointer, one per line (the sign as in ScreenBackend::postScroll).
    std::optional<PortalError> scroll(int32_t lines);
    // Moves the pointer to a point of the compositor's layout.
    std::optional<PortalError> movePointer(Point layoutPoint);

private:
    PortalRemoteDesktop(std::shared_ptr<PortalConnection> connection, std::string session,
                        std::chrono::milliseconds timeout)
        : connection_(std::move(connection)), session_(std::move(session)), timeout_(timeout) {}
    std::optional<PortalError> notify(const char* method, GVariant* parameters);
    void close() noexcept;

    std::shared_ptr<PortalConnection> connection_;
    std::string session_;
    std::chrono::milliseconds timeout_;
    std::vector<CastStream> streams_;
};

}  // namespace tessarin::portal
