#include "core/capture/ScreenCaptureService.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>
#include <type_traits>
#include <variant>

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

using DisplaysResult = AsyncScreenBackend::DisplaysResult;
using WindowsResult = AsyncScreenBackend::WindowsResult;
using RegionContextResult = Expected<ScreenCaptureRegionContext, CaptureError>;
using DisplayResult = Expected<DisplayDescription, CaptureError>;

Expected<DisplayDescription, CaptureError> displayWithID(const DisplaysResult& displays, uint32_t displayID) {
    if (!displays) return unexpected(displays.error());
    for (const auto& d : *displays) {
        if (d.displayID == displayID) return d;
    }
    return unexpected(CaptureError::noDisplay());
}

Expected<DisplayDescription, CaptureError> displayWithID(ScreenBackend& backend, uint32_t displayID) {
    return displayWithID(backend.displays(), displayID);
}

PixelRect wholeDisplayArea(const DisplayDescription& display) {
    const PixelSize size = displayPixelSize(display);
    return {0, 0, size.width, size.height};
}

ImageResult captureWholeDisplayNow(ScreenBackend& backend, const DisplayDescription& display) {
    if (!display.displayID) return unexpected(CaptureError::noDisplay());
    return backend.captureDisplayArea(*display.displayID, wholeDisplayArea(display));
}

// Where the region lies on its display's pixel grid, or why it cannot.
Expected<PixelRect, CaptureError> regionArea(const Rect& rect, const ScreenCaptureRegionContext& context) {
    if (!context.display.displayID) return unexpected(CaptureError::noDisplay());
    const auto crop = pixelAlignedCropRect(rect, context.frame, context.scale,
                                           {double(context.outputSize.width), double(context.outputSize.height)});
    if (!crop) return unexpected(CaptureError::captureFailed(CaptureMessages::cropFailed));
    return *crop;
}

// The largest on-screen window whose application and title contain the
// given texts; the first of equal windows wins.
const WindowDescription* bestWindow(const std::vector<WindowDescription>& windows, const std::string& ownerName,
                                    const std::string& title) {
    const WindowDescription* best = nullptr;
    double bestArea = 0;
    for (const auto& w : windows) {
        const double area = w.frame.width * w.frame.height;
        if (!w.onScreen || !(area > 0)) continue;
        if (!containsIgnoringCase(w.app, ownerName)) continue;
        if (!title.empty() && !containsIgnoringCase(w.title, title)) continue;
        if (area > bestArea) {  // strictly larger: the first of equal windows wins
            best = &w;
            bestArea = area;
        }
    }
    return best;
}

AgentTargetList targetList(const std::vector<DisplayDescription>& displays,
                           const std::vector<WindowDescription>& windows) {
    AgentTargetList list;
    for (size_t i = 0; i < displays.size(); ++i) {
        const auto& d = displays[i];
        if (!d.displayID) continue;
        const PixelSize size = displayPixelSize(d);
        list.displays.push_back({int64_t(i), *d.displayID, size.width, size.height});
    }
    for (const auto& w : windows) {
        if (!w.onScreen || !(w.frame.width * w.frame.height > 0)) continue;
        list.windows.push_back({w.windowID, w.app, w.title, std::llround(w.frame.x), std::llround(w.frame.y),
                                std::llround(w.frame.width), std::llround(w.frame.height)});
    }
    return list;
}

template <class Result>
void logCapture(std::string_view what, const Result& result) {
    std::ostringstream line;
    line << what;
    if (!result) {
        line << " result=failed error=" << result.error().description();
    } else if constexpr (std::is_same_v<Result, FileCaptureResult>) {
        line << " result=success image=" << widthOf(*result) << "x" << heightOf(*result)
             << (std::holds_alternative<EncodedPNG>(*result) ? " encoded=platform" : "");
    } else {
        line << " result=success image=" << result->width() << "x" << result->height();
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
    return captureWholeDisplayNow(backend, *display);
}

ImageResult ScreenCaptureService::captureRegionWith(ScreenBackend& backend, const Rect& rect,
                                                    const ScreenCaptureRegionContext& context) {
    const auto area = regionArea(rect, context);
    if (!area) return unexpected(area.error());
    return backend.captureDisplayArea(*context.display.displayID, *area);
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

void ScreenCaptureService::resolveDisplay(std::optional<uint32_t> displayID, Completion<DisplayResult> done) {
    screen_->displays(lifetime_.guard([this, displayID, done = std::move(done)](DisplaysResult displays) mutable {
        if (displayID) return done(displayWithID(displays, *displayID));
        if (!displays) return done(unexpected(displays.error()));
        screen_->pointerLocation(lifetime_.guard(
            [displays = std::move(*displays), done = std::move(done)](std::optional<Point> pointer) mutable {
                auto display = pointer ? ScreenLocator::screen(*pointer, displays) : std::nullopt;
                // Without a pointer (no seat on the server) the main display is the sensible choice.
                if (!display && !displays.empty()) display = displays.front();
                if (!display) return done(unexpected(CaptureError::noDisplay()));
                done(std::move(*display));
            }));
    }));
}

void ScreenCaptureService::captureWholeDisplay(std::optional<uint32_t> displayID, Completion<ImageResult> done) {
    resolveDisplay(displayID, lifetime_.guard([this, displayID, done = std::move(done)](DisplayResult display) mutable {
        std::string what = displayID ? "captureDisplay displayID=" + std::to_string(*displayID)
                                     : "captureDisplayUnderCursor display=" + (display ? display->name : "none");
        if (display && !display->displayID) display = unexpected(CaptureError::noDisplay());
        if (!display) {
            ImageResult failed = unexpected(display.error());
            logCapture(what, failed);
            return done(std::move(failed));
        }
        screen_->captureDisplayArea(*display->displayID, wholeDisplayArea(*display),
                                    lifetime_.guard([what = std::move(what), done = std::move(done)](ImageResult result) {
                                        logCapture(what, result);
                                        done(std::move(result));
                                    }));
    }));
}

void ScreenCaptureService::captureDisplay(uint32_t displayID, Completion<ImageResult> done) {
    if (!running(done)) return;
    captureWholeDisplay(displayID, std::move(done));
}

void ScreenCaptureService::captureDisplayUnderCursor(Completion<ImageResult> done) {
    if (!running(done)) return;
    captureWholeDisplay(std::nullopt, std::move(done));
}

void ScreenCaptureService::captureDisplayForFile(std::optional<uint32_t> displayID,
                                                 Completion<FileCaptureResult> done) {
    if (!running(done)) return;
    resolveDisplay(displayID, lifetime_.guard([this, done = std::move(done)](DisplayResult display) mutable {
        if (display && !display->displayID) display = unexpected(CaptureError::noDisplay());
        if (!display) return done(unexpected(display.error()));
        std::string what = "captureDisplayForFile display=" + display->name;
        screen_->captureDisplayForFile(
            *display->displayID, wholeDisplayArea(*display),
            lifetime_.guard([what = std::move(what), done = std::move(done)](FileCaptureResult result) {
                logCapture(what, result);
                done(std::move(result));
            }));
    }));
}

void ScreenCaptureService::prepareRegionCapture(const DisplayDescription& display,
                                                Completion<RegionContextResult> done) {
    if (!running(done)) return;
    if (!display.displayID) return completeLater<RegionContextResult>(unexpected(CaptureError::noDisplay()), std::move(done));
    // Re-read the display: it may have been unplugged or moved since it was chosen.
    screen_->displays(
        lifetime_.guard([id = *display.displayID, done = std::move(done)](DisplaysResult displays) mutable {
            auto current = displayWithID(displays, id);
            if (!current) return done(unexpected(current.error()));
            done(ScreenCaptureRegionContext{*current, current->frame, std::max(1.0, current->scale),
                                            displayPixelSize(*current)});
        }));
}

void ScreenCaptureService::captureRegion(const Rect& rect, const ScreenCaptureRegionContext& context,
                                         Completion<ImageResult> done) {
    if (!running(done)) return;
    std::string what = "captureRegion display=" + context.display.name;
    const auto area = regionArea(rect, context);
    if (!area) {
        ImageResult failed = unexpected(area.error());
        logCapture(what, failed);
        return completeLater(std::move(failed), std::move(done));
    }
    screen_->captureDisplayArea(*context.display.displayID, *area,
                                lifetime_.guard([what = std::move(what), done = std::move(done)](ImageResult result) {
                                    logCapture(what, result);
                                    done(std::move(result));
                                }));
}

void ScreenCaptureService::captureWindow(const std::string& ownerName, const std::string& title,
                                         Completion<ImageResult> done) {
    if (!running(done)) return;
    if (auto reason = backend_.noWindowListReason()) {
        ImageResult failed = unexpected(CaptureError::captureFailed(std::move(*reason)));
        logCapture("captureWindow", failed);
        return completeLater(std::move(failed), std::move(done));
    }
    screen_->windows(
        lifetime_.guard([this, ownerName, title, done = std::move(done)](WindowsResult windows) mutable {
            if (!windows) return done(unexpected(windows.error()));
            const WindowDescription* best = bestWindow(*windows, ownerName, title);
            if (!best) return done(unexpected(CaptureError::captureFailed(CaptureMessages::noWindow(ownerName, title))));
            screen_->captureWindow(
                best->windowID,
                lifetime_.guard([id = best->windowID, done = std::move(done)](ImageResult result) {
                    logCapture("captureWindow windowID=" + std::to_string(id), result);
                    done(std::move(result));
                }));
        }));
}

void ScreenCaptureService::agentTargets(Completion<Expected<AgentTargetList, CaptureError>> done) {
    if (!running(done)) return;
    screen_->displays(lifetime_.guard([this, done = std::move(done)](DisplaysResult displays) mutable {
        if (!displays) return done(unexpected(displays.error()));
        screen_->windows(lifetime_.guard(
            [displays = std::move(*displays), done = std::move(done)](WindowsResult windows) mutable {
                if (!windows) return done(unexpected(windows.error()));
                done(targetList(displays, *windows));
            }));
    }));
}

void ScreenCaptureService::freezeScreens(Completion<Expected<FrozenScreens, CaptureError>> done) {
    if (!running(done)) return;
    screen_->displays(lifetime_.guard([this, done = std::move(done)](DisplaysResult displays) mutable {
        if (!displays) return done(unexpected(displays.error()));
        std::vector<DisplayDescription> frozen;
        std::vector<DisplayArea> areas;
        for (const DisplayDescription& display : *displays) {
            if (!display.displayID) continue;
            frozen.push_back(display);
            areas.push_back({*display.displayID, wholeDisplayArea(display)});
        }
        // All at one moment: the overlay shows one state of the desktop.
        screen_->captureDisplayAreas(
            std::move(areas), [frozen = std::move(frozen), done = std::move(done)](
                                  AsyncScreenBackend::ImagesResult images) mutable {
                if (!images) return done(unexpected(images.error()));
                if (images->size() != frozen.size()) {
                    return done(unexpected(CaptureError::captureFailed("the screen gave fewer pictures than displays")));
                }
                std::vector<FrozenScreenFrame> frames;
                for (size_t i = 0; i < frozen.size(); ++i) {
                    frames.push_back({*frozen[i].displayID, std::move((*images)[i]), frozen[i].frame,
                                      std::max(1.0, frozen[i].scale)});
                }
                done(FrozenScreens(std::move(frames)));
            });
    }));
}

}  // namespace tessarin
