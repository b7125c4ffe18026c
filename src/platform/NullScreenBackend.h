#pragma once
// The back end used when no display server can be reached: every capture
// fails with the reason it was given, nothing crashes.

#include <string>

#include "platform/ScreenBackend.h"

namespace tessarin {

class NullScreenBackend final : public ScreenBackend {
public:
    explicit NullScreenBackend(std::string reason) : reason_(std::move(reason)) {}

    ScreenCapabilities capabilities() override { return {}; }
    Expected<std::vector<DisplayDescription>, CaptureError> displays() override { return fail(); }
    Expected<Image, CaptureError> captureDisplayArea(uint32_t, PixelRect) override { return fail(); }
    Expected<std::vector<WindowDescription>, CaptureError> windows() override { return fail(); }
    Expected<Image, CaptureError> captureWindow(uint32_t) override { return fail(); }
    std::optional<Point> pointerLocation() override { return std::nullopt; }
    AccessStatus screenCaptureAccess() override { return {false, reason_}; }
    AccessStatus syntheticInputAccess() override { return {false, reason_}; }
    Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openRegionStream(uint32_t, PixelRect, double) override {
        return fail();
    }
    std::optional<CaptureError> movePointer(Point) override { return fail().error; }
    std::optional<CaptureError> postScroll(int32_t) override { return fail().error; }

private:
    Unexpected<CaptureError> fail() const { return unexpected(CaptureError::captureFailed(reason_)); }
    std::string reason_;
};

}  // namespace tessarin
