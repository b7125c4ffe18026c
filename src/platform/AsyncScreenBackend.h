#pragma once
// The screen back end as the capture logic uses it: every operation takes a
// Completion and completes later, on the main executor. A portal back end is
// asynchronous by nature (each request is a D-Bus round trip, and picking an
// area waits for the user); a synchronous back end (X11) is run behind
// ScreenBackendAdapter, which does its blocking calls on the background
// executor.
//
// Operations a back end does not advertise in capabilities() complete with
// a failure naming what is missing.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/common/Completion.h"
#include "platform/ScreenBackend.h"
#include "platform/ScreenCapabilities.h"

namespace tessarin {

class AsyncScreenBackend {
public:
    using DisplaysResult = Expected<std::vector<DisplayDescription>, CaptureError>;
    using WindowsResult = Expected<std::vector<WindowDescription>, CaptureError>;
    using ImageResult = Expected<Image, CaptureError>;
    using FileCaptureResult = Expected<FileCapture, CaptureError>;
    using ImagesResult = Expected<std::vector<Image>, CaptureError>;

    virtual ~AsyncScreenBackend() = default;

    virtual ScreenCapabilities capabilities() = 0;

    // As the same operations of ScreenBackend, delivered to `done`.
    virtual void displays(Completion<DisplaysResult> done) = 0;
    virtual void captureDisplayArea(uint32_t displayID, PixelRect area, Completion<ImageResult> done) = 0;
    virtual void captureDisplayAreas(std::vector<DisplayArea> areas, Completion<ImagesResult> done) = 0;
    virtual void captureDisplayForFile(uint32_t displayID, PixelRect area, Completion<FileCaptureResult> done) = 0;
    virtual void windows(Completion<WindowsResult> done) = 0;
    virtual void captureWindow(uint32_t windowID, Completion<ImageResult> done) = 0;
    virtual void pointerLocation(Completion<std::optional<Point>> done) = 0;
    // Lets the user choose an area with the platform's own picker and
    // delivers its pixels (interactiveAreaPick).
    virtual void pickArea(Completion<ImageResult> done) = 0;

    // On the main executor, before the background executor shuts down: what
    // is in flight, and anything asked later, completes as cancelled.
    virtual void shutdown() = 0;
};

}  // namespace tessarin
