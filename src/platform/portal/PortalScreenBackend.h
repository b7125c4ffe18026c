#pragma once
// The screen back end of a Wayland session. A Wayland client may not read
// the screen itself: pixels come from the desktop portal's Screenshot
// (non-interactive, the whole layout, cut to the display and area asked
// for), displays from the compositor's outputs. There is no global window
// list and no pointer position on Wayland. Region streams come from the
// ScreenCast portal, synthetic input from RemoteDesktop where it exists.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>
#include <string>

#include "platform/ScreenBackend.h"
#include "platform/portal/LayoutImageCrop.h"
#include "platform/portal/PortalRemoteDesktop.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/WaylandOutputs.h"

namespace tessarin::portal {

inline constexpr const char* kScreenshotInterface = "org.freedesktop.portal.Screenshot";

// Why window capture fails here, word for word in every message about it.
inline constexpr const char* kNoWindowListMessage =
    "there is no global window list on Wayland: a program cannot list or capture other programs' windows; capture "
    "the display or an area instead";

// What to say when the Screenshot portal is missing.
std::string missingScreenshotPortalMessage();

struct PortalBackendOptions {
    std::string waylandDisplay;  // empty: $WAYLAND_DISPLAY
    // How long the compositor and the portal may take; a screenshot can wait
    // for the user to answer the desktop's permission question.
    std::chrono::milliseconds outputsTimeout{5000};
    std::chrono::milliseconds screenshotTimeout{30000};
};

class PortalScreenBackend : public ScreenBackend {
public:
    explicit PortalScreenBackend(PortalBackendOptions options) : options_(std::move(options)) {}

    ScreenCapabilities capabilities() override {
        return {ScreenCapability::displayCapture, ScreenCapability::regionCapture, ScreenCapability::regionStream};
    }
    Expected<std::vector<DisplayDescription>, CaptureError> displays() override;
    Expected<Image, CaptureError> captureDisplayArea(uint32_t displayID, PixelRect area) override;
    // One screenshot of the layout cut for every display asked.
    Expected<std::vector<Image>, CaptureError> captureDisplayAreas(const std::vector<DisplayArea>& areas) override;
    // The portal's own PNG when the layout is this one display, else pixels.
    Expected<FileCapture, CaptureError> captureDisplayForFile(uint32_t displayID, PixelRect area) override;
    Expected<std::vector<WindowDescription>, CaptureError> windows() override { return std::vector<WindowDescription>{}; }
    std::optional<std::string> noWindowListReason() override { return std::string(kNoWindowListMessage); }
    Expected<Image, CaptureError> captureWindow(uint32_t) override {
        return unexpected(CaptureError::captureFailed(kNoWindowListMessage));
    }
    std::optional<Point> pointerLocation() override { return std::nullopt; }
    AccessStatus screenCaptureAccess() override;
    AccessStatus syntheticInputAccess() override;
    // Region streams through the ScreenCast portal, input through RemoteDesktop
    // (PortalScreenBackendStreams.cpp).
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(uint32_t displayID, PixelRect area,
                                                                                double framesPerSecond) override;
    // The same with the pointer in the frames or not (recording).
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openCastStream(uint32_t displayID, PixelRect area,
                                                                              double framesPerSecond, bool showsCursor);
    std::optional<CaptureError> movePointer(Point global) override;
    std::optional<CaptureError> postScroll(int32_t lines) override;

    // The session bus connection, opened on first use and shared by the
    // portal calls of this back end.
    Expected<std::shared_ptr<PortalConnection>, PortalError> connection();

private:
    // Where an area lies in the portal's picture of the whole layout.
    struct Target {
        OutputPlacement placement;
        PixelRect bounds;  // the layout, logical coordinates
        PixelRect area;
        bool wholeLayout = false;  // the area is all of the one and only output
    };
    static constexpr std::chrono::milliseconds kOutputsReuse{250};

    Expected<std::vector<WaylandOutput>, CaptureError> outputs();
    Expected<Target, CaptureError> target(uint32_t displayID, PixelRect area);
    // The portal's screenshot of the whole layout: the file it wrote, read.
    struct Screenshot {
        std::string file;
        std::vector<uint8_t> bytes;
    };
    Expected<Screenshot, CaptureError> screenshot();
    static Expected<Image, CaptureError> decodeLayout(const Screenshot& shot);

    std::optional<CaptureError> withInput(const std::function<std::optional<PortalError>(PortalRemoteDesktop&)>& send);

    PortalBackendOptions options_;
    std::mutex outputsMutex_;
    std::optional<std::vector<WaylandOutput>> outputsRead_;
    std::chrono::steady_clock::time_point outputsReadAt_;
    std::mutex connectionMutex_;
    std::shared_ptr<PortalConnection> connection_;
    std::mutex inputMutex_;
    std::unique_ptr<PortalRemoteDesktop> input_;  // started on the first scroll or move
};

// The error a capture reports for a failed portal call about `what`.
CaptureError captureErrorFor(const PortalError& error, const std::string& what);

}  // namespace tessarin::portal
