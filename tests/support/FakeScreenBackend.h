#pragma once
// A scripted screen for tests of the capture logic: displays and windows are
// plain values, and every captured pixel encodes where it came from
// (R = x mod 256, G = y mod 256, B = the display's position in the list), so a
// test can tell exactly which pixels a crop returned.

#include <algorithm>
#include <vector>

#include "platform/ScreenBackend.h"

namespace tessarin::testing {

inline DisplayDescription makeDisplay(uint32_t id, Rect frame, double scale = 1, bool primary = false,
                                      std::string name = "") {
    DisplayDescription d;
    d.displayID = id;
    d.name = name.empty() ? "D" + std::to_string(id) : name;
    d.frame = frame;
    d.visibleFrame = frame;
    d.scale = scale;
    d.pixelWidth = int64_t(frame.width * scale);
    d.pixelHeight = int64_t(frame.height * scale);
    d.primary = primary;
    return d;
}

class FakeScreenBackend final : public ScreenBackend {
public:
    std::vector<DisplayDescription> displayList;
    std::vector<WindowDescription> windowList;
    std::optional<Point> pointer;
    std::optional<CaptureError> failure;  // when set, every query fails with it
    bool captureAllowed = true;
    bool inputAllowed = false;
    std::vector<PixelRect> capturedAreas;  // what was asked of the screen
    std::vector<uint32_t> capturedWindows;
    ScreenCapabilities capabilitySet{ScreenCapability::displayCapture, ScreenCapability::regionCapture,
                                     ScreenCapability::windowCapture, ScreenCapability::pointerPosition};

    std::optional<std::string> noWindowList;  // when set, the back end can list no windows, for this reason
    // When set, whole-display captures for a file hand over these bytes as
    // the platform's own PNG.
    std::optional<std::vector<uint8_t>> platformPNG;

    ScreenCapabilities capabilities() override { return capabilitySet; }
    std::optional<std::string> noWindowListReason() override { return noWindowList; }

    Expected<std::vector<DisplayDescription>, CaptureError> displays() override {
        if (failure) return unexpected(*failure);
        return displayList;
    }

    Expected<Image, CaptureError> captureDisplayArea(uint32_t displayID, PixelRect area) override {
        if (failure) return unexpected(*failure);
        const auto it = std::find_if(displayList.begin(), displayList.end(),
                                     [&](const auto& d) { return d.displayID == displayID; });
        if (it == displayList.end()) return unexpected(CaptureError::noDisplay());
        if (area.x < 0 || area.y < 0 || area.x + area.width > it->pixelWidth || area.y + area.height > it->pixelHeight)
            return unexpected(CaptureError::captureFailed("area outside the display"));
        capturedAreas.push_back(area);
        auto image = Image::allocate(uint32_t(area.width), uint32_t(area.height));
        if (!image) return unexpected(CaptureError::captureFailed("empty area"));
        const auto index = uint8_t(it - displayList.begin());
        for (uint32_t y = 0; y < image->height(); ++y) {
            uint8_t* row = image->row(y);
            for (uint32_t x = 0; x < image->width(); ++x) {
                row[x * 4 + 0] = uint8_t(area.x + x);
                row[x * 4 + 1] = uint8_t(area.y + y);
                row[x * 4 + 2] = index;
                row[x * 4 + 3] = 255;
            }
        }
        return std::move(*image);
    }

    Expected<FileCapture, CaptureError> captureDisplayForFile(uint32_t displayID, PixelRect area) override {
        if (!platformPNG || failure) return ScreenBackend::captureDisplayForFile(displayID, area);
        capturedAreas.push_back(area);
        return FileCapture(EncodedPNG{*platformPNG, uint32_t(area.width), uint32_t(area.height)});
    }

    Expected<std::vector<WindowDescription>, CaptureError> windows() override {
        if (failure) return unexpected(*failure);
        return windowList;
    }

    Expected<Image, CaptureError> captureWindow(uint32_t windowID) override {
        if (failure) return unexpected(*failure);
        for (const auto& w : windowList) {
            if (w.windowID != windowID) continue;
            capturedWindows.push_back(windowID);
            auto image = Image::allocate(uint32_t(w.frame.width), uint32_t(w.frame.height));
            std::fill(image->data(), image->data() + image->byteCount(), uint8_t(200));
            return std::move(*image);
        }
        return unexpected(CaptureError::captureFailed("no such window"));
    }

    std::optional<Point> pointerLocation() override { return pointer; }
    AccessStatus screenCaptureAccess() override { return {captureAllowed && !failure, "fake"}; }
    AccessStatus syntheticInputAccess() override { return {inputAllowed, "fake"}; }
};

}  // namespace tessarin::testing
