#pragma once
// Connects to the display server on first use, so commands that never touch
// the screen (version, help, argument errors) pay nothing for it.

#include <functional>
#include <memory>
#include <mutex>

#include "platform/ScreenBackend.h"

namespace tessarin {

class LazyScreenBackend final : public ScreenBackend {
public:
    using Factory = std::function<std::unique_ptr<ScreenBackend>()>;
    explicit LazyScreenBackend(Factory factory) : factory_(std::move(factory)) {}

    ScreenCapabilities capabilities() override { return backend().capabilities(); }
    Expected<std::vector<DisplayDescription>, CaptureError> displays() override { return backend().displays(); }
    Expected<Image, CaptureError> captureDisplayArea(uint32_t displayID, PixelRect area) override {
        return backend().captureDisplayArea(displayID, area);
    }
    Expected<std::vector<Image>, CaptureError> captureDisplayAreas(const std::vector<DisplayArea>& areas) override {
        return backend().captureDisplayAreas(areas);
    }
    Expected<FileCapture, CaptureError> captureDisplayForFile(uint32_t displayID, PixelRect area) override {
        return backend().captureDisplayForFile(displayID, area);
    }
    Expected<std::vector<WindowDescription>, CaptureError> windows() override { return backend().windows(); }
    std::optional<std::string> noWindowListReason() override { return backend().noWindowListReason(); }
    Expected<Image, CaptureError> captureWindow(uint32_t windowID) override { return backend().captureWindow(windowID); }
    std::optional<Point> pointerLocation() override { return backend().pointerLocation(); }
    AccessStatus screenCaptureAccess() override { return backend().screenCaptureAccess(); }
    AccessStatus syntheticInputAccess() override { return backend().syntheticInputAccess(); }
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(uint32_t displayID, PixelRect area,
                                                                                double framesPerSecond) override {
        return backend().openRegionStream(displayID, area, framesPerSecond);
    }
    std::optional<CaptureError> movePointer(Point global) override { return backend().movePointer(global); }
    std::optional<CaptureError> postScroll(int32_t lines) override { return backend().postScroll(lines); }

private:
    // Thread-safe: the first call may come from the main thread or a worker.
    ScreenBackend& backend() {
        std::call_once(created_, [this] { backend_ = factory_(); });
        return *backend_;
    }

    Factory factory_;
    std::once_flag created_;
    std::unique_ptr<ScreenBackend> backend_;
};

}  // namespace tessarin
