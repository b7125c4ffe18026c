#include "core/capture/ScreenCaptureService.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "core/capture/ScreenLocator.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

std::string lowercased(const std::string& text) {
    // ASCII folding: names and titles are compared byte-wise beyond that.
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

Expected<DisplayDescription, CaptureError> displayWithID(ScreenBackend& backend, uint32_t displayID) {
    auto displays = backend.displays();
    if (!displays) return unexpected(displays.error());
    for (auto& d : *displays) {
        if (d.displayID == displayID) return d;
    }
    return unexpected(CaptureError::noDisplay());
}

ImageResult captureWholeDisplay(ScreenBackend& backend, const DisplayDescription& display) {
    if (!display.displayID) return unexpected(CaptureError::noDisplay());
    const PixelSize size = displayPixelSize(display);
    return backend.captureDisplayArea(*display.displayID, {0, 0, size.width, size.height});
}

void logCapture(std::string_view what, const ImageResult& result) {
    std::ostringstream line;
    line << what;
    if (result) {
        line << " result=success image=" << result->width() << "x" << result->height();
    } else {
        line << " result=failed error=" << result.error().description();
    }
    logLine(result ? LogLevel::info : LogLevel::error, LogCategory::capture, line.str());
}

}  // namespace

PixelSize displayPixelSize(const DisplayDescription& display) {
    if (display.pixelWidth > 0 && display.pixelHeight > 0) return {display.pixelWidth, display.pixelHeight};
    const double s = std::max(1.0, display.scale);
    return sanitizedPixelSize({std::max(1.0, display.frame.width * s), std::max(1.0, display.frame.height * s)},
                              "makeConfiguration.outputSize");
}

bool containsIgnoringCase(const std::string& haystack, const std::string& needle) {
    return lowercased(haystack).find(lowercased(needle)) != std::string::npos;
}

ImageResult ScreenCaptureService::captureDisplayWith(ScreenBackend& backend, uint32_t displayID) {
    auto display = displayWithID(backend, displayID);
    if (!display) return unexpected(display.error());
    return captureWholeDisplay(backend, *display);
}

ImageResult ScreenCaptureService::captureRegionWith(ScreenBackend& backend, const Rect& rect,
                                                    const ScreenCaptureRegionContext& context) {
    if (!context.display.displayID) return unexpected(CaptureError::noDisplay());
    const auto crop = pixelAlignedCropRect(rect, context.frame, context.scale,
                                           {double(context.outputSize.width), double(context.outputSize.height)});
    if (!crop) return unexpected(CaptureError::captureFailed(CaptureMessages::cropFailed));
    return backend.captureDisplayArea(*context.display.displayID, *crop);
}

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> ScreenCaptureService::openRegionStream(
    const Rect& rect, const DisplayDescription& display, double framesPerSecond) {
    if (!display.displayID) return unexpected(CaptureError::noDisplay());
    auto current = displayWithID(backend_, *display.displayID);
    if (!current) return unexpected(current.error());
    const auto size = displayPixelSize(*current);
    const auto crop = pixelAlignedCropRect(rect, current->frame, std::max(1.0, current->scale),
                                           {double(size.width), double(size.height)});
    if (!crop) return unexpected(CaptureError::captureFailed(CaptureMessages::cropFailed));
    return backend_.openRegionStream(*display.displayID, *crop, framesPerSecond);
}

void ScreenCaptureService::captureDisplay(uint32_t displayID, Completion<ImageResult> done) {
    inBackground<ImageResult>(
        [&backend = backend_, displayID] {
            auto result = captureDisplayWith(backend, displayID);
            logCapture("captureDisplay displayID=" + std::to_string(displayID), result);
            return result;
        },
        std::move(done));
}

void ScreenCaptureService::captureDisplayUnderCursor(Completion<ImageResult> done) {
    inBackground<ImageResult>(
        [&backend = backend_]() -> ImageResult {
            auto displays = backend.displays();
            if (!displays) return unexpected(displays.error());
            const auto pointer = backend.pointerLocation();
            auto display = pointer ? ScreenLocator::screen(*pointer, *displays) : std::nullopt;
            // Without a pointer (no seat on the server) the main display is the sensible choice.
            if (!display && !displays->empty()) display = displays->front();
            if (!display) return unexpected(CaptureError::noDisplay());
            auto result = captureWholeDisplay(backend, *display);
            logCapture("captureDisplayUnderCursor display=" + display->name, result);
            return result;
        },
        std::move(done));
}

void ScreenCaptureService::prepareRegionCapture(const DisplayDescription& display,
                                                Completion<Expected<ScreenCaptureRegionContext, CaptureError>> done) {
    using Result = Expected<ScreenCaptureRegionContext, CaptureError>;
    inBackground<Result>(
        [&backend = backend_, display]() -> Result {
            if (!display.displayID) return unexpected(CaptureError::noDisplay());
            // Re-read the display: it may have been unplugged or moved since it was chosen.
            auto current = displayWithID(backend, *display.displayID);
            if (!current) return unexpected(current.error());
            return ScreenCaptureRegionContext{*current, current->frame, std::max(1.0, current->scale),
                                              displayPixelSize(*current)};
        },
        std::move(done));
}

void ScreenCaptureService::captureRegion(const Rect& rect, const ScreenCaptureRegionContext& context,
                                         Completion<ImageResult> done) {
    inBackground<ImageResult>(
        [&backend = backend_, rect, context] {
            auto result = captureRegionWith(backend, rect, context);
            logCapture("captureRegion display=" + context.display.name, result);
            return result;
        },
        std::move(done));
}

void ScreenCaptureService::captureWindow(const std::string& ownerName, const std::string& title,
                                         Completion<ImageResult> done) {
    inBackground<ImageResult>(
        [&backend = backend_, ownerName, title]() -> ImageResult {
            auto windows = backend.windows();
            if (!windows) return unexpected(windows.error());
            const WindowDescription* best = nullptr;
            double bestArea = 0;
            for (const auto& w : *windows) {
                const double area = w.frame.width * w.frame.height;
                if (!w.onScreen || !(area > 0)) continue;
                if (!containsIgnoringCase(w.app, ownerName)) continue;
                if (!title.empty() && !containsIgnoringCase(w.title, title)) continue;
                if (area > bestArea) {  // strictly larger: the first of equal windows wins
                    best = &w;
                    bestArea = area;
                }
            }
            if (!best) return unexpected(CaptureError::captureFailed(CaptureMessages::noWindow(ownerName, title)));
            auto result = backend.captureWindow(best->windowID);
            logCapture("captureWindow windowID=" + std::to_string(best->windowID), result);
            return result;
        },
        std::move(done));
}

void ScreenCaptureService::agentTargets(Completion<Expected<AgentTargetList, CaptureError>> done) {
    using Result = Expected<AgentTargetList, CaptureError>;
    inBackground<Result>(
        [&backend = backend_]() -> Result {
            auto displays = backend.displays();
            if (!displays) return unexpected(displays.error());
            auto windows = backend.windows();
            if (!windows) return unexpected(windows.error());
            AgentTargetList list;
            for (size_t i = 0; i < displays->size(); ++i) {
                const auto& d = (*displays)[i];
                if (!d.displayID) continue;
                const PixelSize size = displayPixelSize(d);
                list.displays.push_back({int64_t(i), *d.displayID, size.width, size.height});
            }
            for (const auto& w : *windows) {
                if (!w.onScreen || !(w.frame.width * w.frame.height > 0)) continue;
                list.windows.push_back({w.windowID, w.app, w.title, std::llround(w.frame.x), std::llround(w.frame.y),
                                        std::llround(w.frame.width), std::llround(w.frame.height)});
            }
            return list;
        },
        std::move(done));
}

void ScreenCaptureService::freezeScreens(Completion<Expected<FrozenScreens, CaptureError>> done) {
    using Result = Expected<FrozenScreens, CaptureError>;
    inBackground<Result>(
        [&backend = backend_]() -> Result {
            auto displays = backend.displays();
            if (!displays) return unexpected(displays.error());
            std::vector<FrozenScreenFrame> frames;
            for (const auto& d : *displays) {
                if (!d.displayID) continue;
                auto image = captureWholeDisplay(backend, d);
                if (!image) return unexpected(image.error());
                frames.push_back({*d.displayID, std::move(*image), d.frame, std::max(1.0, d.scale)});
            }
            return FrozenScreens(std::move(frames));
        },
        std::move(done));
}

}  // namespace tessarin
