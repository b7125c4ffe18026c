#pragma once
// What the agent asks of the capture service. Every operation completes on
// the main executor with an image or the CaptureError that explains why not.

#include <string>
#include <vector>

#include "core/capture/AgentTargetList.h"
#include "core/capture/PixelCrop.h"
#include "core/common/Executor.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "core/screen/FileCapture.h"
#include "platform/ScreenBackend.h"

namespace tessarin {

using ImageResult = Expected<Image, CaptureError>;
using FileCaptureResult = Expected<FileCapture, CaptureError>;

// Prepared once per display and reused for many region captures (the
// scrolling capture grabs the same region thirty times a second).
struct ScreenCaptureRegionContext {
    DisplayDescription display;
    Rect frame;    // global points
    double scale = 1;
    PixelSize outputSize;  // the display image's size in device pixels
};

class HeadlessCaptureProvider {
public:
    virtual ~HeadlessCaptureProvider() = default;

    // Connected displays in platform order (synchronous: a cheap query).
    virtual Expected<std::vector<DisplayDescription>, CaptureError> displays() = 0;
    virtual std::optional<Point> pointerLocation() = 0;
    virtual AccessStatus screenCaptureAccess() = 0;
    virtual AccessStatus syntheticInputAccess() = 0;

    virtual void captureDisplay(uint32_t displayID, Completion<ImageResult> done) = 0;
    virtual void captureDisplayUnderCursor(Completion<ImageResult> done) = 0;
    // The whole display with `displayID`, or the one under the pointer when
    // none, for writing to a file: the platform's own PNG where it has one
    // of exactly that display (FileCapture.h), else pixels.
    virtual void captureDisplayForFile(std::optional<uint32_t> displayID, Completion<FileCaptureResult> done) = 0;
    virtual void prepareRegionCapture(const DisplayDescription& display,
                                      Completion<Expected<ScreenCaptureRegionContext, CaptureError>> done) = 0;
    // `rect` in global points; the image is cropped on whole device pixels.
    virtual void captureRegion(const Rect& rect, const ScreenCaptureRegionContext& context,
                               Completion<ImageResult> done) = 0;
    // The largest on-screen window whose application name contains `ownerName`
    // and, when `title` is not empty, whose title contains it (both ignoring case).
    virtual void captureWindow(const std::string& ownerName, const std::string& title,
                               Completion<ImageResult> done) = 0;
    virtual void agentTargets(Completion<Expected<AgentTargetList, CaptureError>> done) = 0;
    // Why no window can be listed or captured here (a Wayland session); none
    // when windows can be.
    virtual std::optional<std::string> noWindowListReason() { return std::nullopt; }

    // The scrolling capture's platform needs, called on the main thread.
    // `rect` in global points on `display`, cropped on whole device pixels as
    // captureRegion does.
    virtual Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(
        const Rect& rect, const DisplayDescription& display, double framesPerSecond) = 0;
    virtual std::optional<CaptureError> movePointer(Point global) = 0;
    virtual std::optional<CaptureError> postScroll(int32_t lines) = 0;
};

}  // namespace tessarin
