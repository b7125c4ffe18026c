#pragma once
// A region stream of one display on Wayland: a ScreenCast portal session
// for the display's monitor, its PipeWire stream cut to the area. The
// session lives as long as the stream.

#include <memory>
#include <optional>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/CaptureError.h"
#include "platform/RegionFrameStream.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalScreenCast.h"

namespace tessarin::portal {

struct CastRegionRequest {
    PixelRect area;                          // device pixels of the display
    std::optional<PixelRect> displayLayout;  // the display in the compositor's layout, when known
    double framesPerSecond = 30;
    bool showsCursor = false;
};

// The stream showing the display at `displayLayout`: the one placed there,
// else the only one when the portal does not say where it is; none when
// the portal shares another screen.
std::optional<CastStream> castStreamFor(const std::vector<CastStream>& streams, std::optional<PixelRect> displayLayout);

// The capture error for a portal's failure: a refusal or the user's cancel
// is the permission error; anything else (no portal, no answer) says what
// failed.
CaptureError castCaptureError(const PortalError& error);

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openCastRegionStream(
    std::shared_ptr<PortalConnection> connection, const CastRegionRequest& request);

}  // namespace tessarin::portal
