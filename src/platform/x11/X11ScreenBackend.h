#pragma once
// The screen back end for X11 servers (Xorg, Xvfb, Xwayland): displays are
// RandR monitors, windows are the window manager's clients, pixels come
// from the root window or from a compositor's window pixmaps.

#include <memory>
#include <optional>
#include <string>

#include "platform/ScreenBackend.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11Pixels.h"
#include "platform/x11/X11Windows.h"

namespace tessarin::x11 {

struct X11BackendOptions {
    // GDK_SCALE from the environment, when set.
    std::optional<std::string> gdkScale;
    PixelReaderOptions pixels;
    ProcessNameLookup processName = readProcessName;
    // This machine's name, to recognise local clients; looked up when empty.
    std::string localHostName;
};

class X11ScreenBackend final : public ScreenBackend {
public:
    // The error is a sentence such as `cannot open X display ":5": ...`.
    static Expected<std::unique_ptr<X11ScreenBackend>, std::string> connect(const std::string& displayName,
                                                                            X11BackendOptions options);

    // Everything but an interactive picker: X11 lets any client read the
    // screen and list windows, and XTest sends input where the server has it.
    ScreenCapabilities capabilities() override {
        return {ScreenCapability::displayCapture, ScreenCapability::regionCapture,
                ScreenCapability::windowCapture,  ScreenCapability::regionStream,
                ScreenCapability::syntheticScroll, ScreenCapability::pointerPosition};
    }
    Expected<std::vector<DisplayDescription>, CaptureError> displays() override;
    Expected<Image, CaptureError> captureDisplayArea(uint32_t displayID, PixelRect area) override;
    Expected<std::vector<WindowDescription>, CaptureError> windows() override;
    Expected<Image, CaptureError> captureWindow(uint32_t windowID) override;
    std::optional<Point> pointerLocation() override;
    AccessStatus screenCaptureAccess() override;
    AccessStatus syntheticInputAccess() override;
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(uint32_t displayID, PixelRect area,
                                                                                double framesPerSecond) override;
    std::optional<CaptureError> movePointer(Point global) override;
    std::optional<CaptureError> postScroll(int32_t lines) override;

    const X11Connection& connection() const { return *connection_; }
    bool usingSharedMemory() const { return pixels_.usingSharedMemory(); }
    // `area` of the display as root pixels, checked to lie inside it.
    Expected<PixelRect, CaptureError> rootAreaOf(uint32_t displayID, PixelRect area) const;

private:
    X11ScreenBackend(std::unique_ptr<X11Connection> connection, X11BackendOptions options);
    Expected<DesktopLayout, CaptureError> layout() const;
    std::optional<Image> readCompositedWindow(const WindowPlacement& placement);
    Expected<PixelRect, CaptureError> rootBounds() const;

    std::unique_ptr<X11Connection> connection_;
    X11BackendOptions options_;
    // Declared after the connection: its shared memory is detached from the
    // server before the connection closes.
    X11PixelReader pixels_;
    X11WindowLister windows_;
};

}  // namespace tessarin::x11
