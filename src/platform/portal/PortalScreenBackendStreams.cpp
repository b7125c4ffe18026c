// PortalScreenBackend's streams and input: a region stream of one output
// through the ScreenCast portal, scroll events and pointer moves through
// the RemoteDesktop portal where the desktop has one.

#include <algorithm>

#include "platform/portal/CastRegionStreams.h"
#include "platform/portal/PortalScreenBackend.h"
#include "platform/x11/X11Displays.h"  // fnv1a32: display ids are hashes of output names

namespace tessarin::portal {

namespace {

// Input requests answer at once; only starting the session may wait for the user.
constexpr std::chrono::milliseconds kInputTimeout{30000};

}  // namespace

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> PortalScreenBackend::openRegionStream(
    uint32_t displayID, PixelRect area, double framesPerSecond) {
    // Scrolling capture stitches content: the pointer would only be in the way.
    return openCastStream(displayID, area, framesPerSecond, false);
}

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> PortalScreenBackend::openCastStream(
    uint32_t displayID, PixelRect area, double framesPerSecond, bool showsCursor) {
    auto current = outputs();
    if (!current) return unexpected(current.error());
    const auto output = std::find_if(current->begin(), current->end(), [displayID](const WaylandOutput& o) {
        return !o.name.empty() && x11::fnv1a32(o.name) == displayID;
    });
    if (output == current->end()) return unexpected(CaptureError::noDisplay());
    auto bus = connection();
    if (!bus) return unexpected(castCaptureError(bus.error()));
    CastRegionRequest request;
    request.area = area;
    request.displayLayout = PixelRect{output->x, output->y, output->logicalWidth, output->logicalHeight};
    request.framesPerSecond = framesPerSecond;
    request.showsCursor = showsCursor;
    return openCastRegionStream(bus.value(), request);
}

AccessStatus PortalScreenBackend::syntheticInputAccess() {
    auto bus = connection();
    if (!bus) return {false, bus.error().message, std::string(kNoRemoteDesktopMessage)};
    return remoteDesktopAccess(*bus.value(), options_.outputsTimeout);
}

std::optional<CaptureError> PortalScreenBackend::withInput(
    const std::function<std::optional<PortalError>(PortalRemoteDesktop&)>& send) {
    const std::lock_guard lock(inputMutex_);
    if (!input_) {
        auto bus = connection();
        if (!bus) return castCaptureError(bus.error());
        auto started = PortalRemoteDesktop::start(bus.value(), kInputTimeout);
        if (!started) return castCaptureError(started.error());
        input_ = std::move(started.value());
    }
    if (auto error = send(*input_)) return CaptureError::captureFailed(error->message);
    return std::nullopt;
}

std::optional<CaptureError> PortalScreenBackend::postScroll(int32_t lines) {
    return withInput([lines](PortalRemoteDesktop& input) { return input.scroll(lines); });
}

std::optional<CaptureError> PortalScreenBackend::movePointer(Point global) {
    auto current = outputs();
    if (!current) return current.error();
    const auto displays = describeWaylandOutputs(*current);
    if (displays.empty()) return CaptureError::noDisplay();
    // Global points have their origin at the primary output's bottom-left
    // corner, y up; the layout has it at its top-left corner, y down.
    const auto primary = std::find_if(current->begin(), current->end(), [&](const WaylandOutput& o) {
        return displays.front().displayID && !o.name.empty() && x11::fnv1a32(o.name) == *displays.front().displayID;
    });
    if (primary == current->end()) return CaptureError::noDisplay();
    const Point layout{primary->x + global.x, double(primary->y + primary->logicalHeight) - global.y};
    return withInput([layout](PortalRemoteDesktop& input) { return input.movePointer(layout); });
}

}  // namespace tessarin::portal
