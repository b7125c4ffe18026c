#pragma once
// What the capture logic needs from the desktop's display server: the list of
// displays, the list of on-screen windows, pixels, the pointer, and whether
// capture and synthetic input are possible. One implementation per platform
// (x11/ now, a portal back end later) plus NullScreenBackend; the factory
// in PlatformFactory.h picks one.
//
// Coordinate spaces (the back end converts from its native space here, in one
// place, so nothing above it sees native coordinates):
//   - DisplayDescription::frame: global desktop points, origin at the
//     bottom-left of the primary display, y growing upwards.
//   - WindowDescription::frame: global points with a top-left origin (the
//     primary display's top-left corner), y growing downwards.
//   - PixelRect arguments: device pixels of one display, origin top-left.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "core/screen/FileCapture.h"
#include "core/screen/ScreenDescriptions.h"
#include "platform/RegionFrameStream.h"
#include "platform/ScreenCapabilities.h"

namespace tessarin {

// An area of one display, in its device pixels.
struct DisplayArea {
    uint32_t displayID = 0;
    PixelRect area;
};

class ScreenBackend {
public:
    virtual ~ScreenBackend() = default;

    // What this back end can do at all; none unless it says.
    virtual ScreenCapabilities capabilities() { return {}; }

    // Connected displays in platform order, primary first.
    virtual Expected<std::vector<DisplayDescription>, CaptureError> displays() = 0;
    // Pixels of `area` (device pixels, top-left origin, inside the display).
    virtual Expected<Image, CaptureError> captureDisplayArea(uint32_t displayID, PixelRect area) = 0;
    // Several areas (one per display, as for captureDisplayArea) taken at
    // one moment where the platform can: a back end that only grabs the
    // whole desktop (the portal) grabs it once for all. One image per
    // area, in order; the first failure fails them all.
    virtual Expected<std::vector<Image>, CaptureError> captureDisplayAreas(const std::vector<DisplayArea>& areas) {
        std::vector<Image> images;
        images.reserve(areas.size());
        for (const DisplayArea& wanted : areas) {
            auto image = captureDisplayArea(wanted.displayID, wanted.area);
            if (!image) return unexpected(image.error());
            images.push_back(std::move(*image));
        }
        return images;
    }
    // The whole display (`area` covers it) for a file: the platform's own
    // PNG where it has one of exactly that (FileCapture.h), else its pixels.
    virtual Expected<FileCapture, CaptureError> captureDisplayForFile(uint32_t displayID, PixelRect area) {
        auto image = captureDisplayArea(displayID, area);
        if (!image) return unexpected(image.error());
        return FileCapture(std::move(*image));
    }
    // On-screen windows, front to back.
    virtual Expected<std::vector<WindowDescription>, CaptureError> windows() = 0;
    // Why this back end can list no windows at all (a Wayland session); none
    // when it can.
    virtual std::optional<std::string> noWindowListReason() { return std::nullopt; }
    // The window's own pixels in device pixels, even where other windows cover it when the platform can.
    virtual Expected<Image, CaptureError> captureWindow(uint32_t windowID) = 0;
    // The pointer in global points (bottom-left origin); none when unknown.
    virtual std::optional<Point> pointerLocation() = 0;

    // Can this process read the screen at all?
    virtual AccessStatus screenCaptureAccess() = 0;
    // Can this process send synthetic scroll events?
    virtual AccessStatus syntheticInputAccess() = 0;

    // A stream of `area` (device pixels of the display, as for
    // captureDisplayArea) grabbed `framesPerSecond` times a second.
    virtual Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(uint32_t displayID,
                                                                                        PixelRect area,
                                                                                        double framesPerSecond) {
        (void)displayID, (void)area, (void)framesPerSecond;
        return unexpected(CaptureError::captureFailed("this screen back end cannot stream a region"));
    }
    // Moves the pointer to a global point (bottom-left origin).
    virtual std::optional<CaptureError> movePointer(Point global) {
        (void)global;
        return CaptureError::captureFailed("this screen back end cannot move the pointer");
    }
    // Scroll-wheel clicks at the pointer, one per line: negative lines move
    // the content up (towards its end), positive lines back.
    virtual std::optional<CaptureError> postScroll(int32_t lines) {
        (void)lines;
        return CaptureError::captureFailed("this screen back end cannot send scroll events");
    }
};

}  // namespace tessarin
