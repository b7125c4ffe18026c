#include "core/capture/PreviousCaptureReplay.h"

#include <algorithm>

#include "core/capture/CaptureSelectionGeometry.h"

namespace tessarin {

std::optional<ResolvedArea> resolveArea(const StoredCaptureSelection& stored, const std::vector<ScreenLayout>& layouts,
                                        const std::optional<ScreenLayout>& fallback) {
    const auto* area = stored.asArea();
    if (!area) return std::nullopt;
    const auto place = [area](const ScreenLayout& layout) {
        const Rect& f = layout.frame;
        const Rect rect{f.minX() + area->localX, f.minY() + area->localY, area->width, area->height};
        return ResolvedArea{layout.displayID, CaptureSelectionGeometry::translatedToFit(rect, f)};
    };
    const auto match = std::find_if(layouts.begin(), layouts.end(),
                                    [area](const auto& l) { return l.displayID == area->screenID; });
    if (match != layouts.end()) return place(*match);
    if (fallback) return place(*fallback);
    return std::nullopt;
}

namespace PreviousCaptureReplay {

Outcome outcome(const std::optional<StoredCaptureSelection>& stored, const std::vector<DisplayDescription>& displays) {
    if (!stored) return NoPreviousCapture{};
    if (const auto* full = stored->asFullscreen()) return FullScreen{full->screenID};

    std::vector<ScreenLayout> layouts;
    std::optional<ScreenLayout> fallback;
    for (const auto& d : displays) {
        if (!d.displayID) continue;
        ScreenLayout layout{*d.displayID, d.frame, d.visibleFrame};
        layouts.push_back(layout);
        if (d.primary && !fallback) fallback = layout;
    }
    const auto resolved = resolveArea(*stored, layouts, fallback);
    if (!resolved) return DisplayNotFound{};
    const auto display = std::find_if(displays.begin(), displays.end(),
                                      [&](const auto& d) { return d.displayID == resolved->displayID; });
    if (display == displays.end()) return DisplayNotFound{};
    return Area{CaptureSelection{*display, resolved->rect}};
}

}  // namespace PreviousCaptureReplay

std::optional<StoredCaptureSelection> rememberedArea(const Rect& rect, const DisplayDescription& display) {
    if (!display.displayID) return std::nullopt;
    return StoredCaptureSelection::area(rect.minX() - display.frame.minX(), rect.minY() - display.frame.minY(),
                                        rect.width, rect.height, *display.displayID);
}

}  // namespace tessarin
