#include "core/capture/CaptureTarget.h"

#include <algorithm>

#include "core/capture/CaptureSelectionGeometry.h"
#include "core/capture/ScreenLocator.h"

namespace tessarin::CaptureTarget {

Displays mainFirstScreens(const Displays& displays) {
    const auto main = std::find_if(displays.begin(), displays.end(), [](const auto& d) { return d.primary; });
    if (main == displays.end()) return displays;
    Displays ordered{*main};
    for (const auto& d : displays) {
        // A display without an id cannot be the main display again; keep it.
        if (!d.displayID || d.displayID != main->displayID) ordered.push_back(d);
    }
    return ordered;
}

std::optional<DisplayDescription> explicitScreen(const Display& which, const Displays& displays) {
    if (const auto* byID = std::get_if<ByID>(&which)) {
        const auto it = std::find_if(displays.begin(), displays.end(),
                                     [&](const auto& d) { return d.displayID == byID->displayID; });
        if (it != displays.end()) return *it;
        return std::nullopt;
    }
    if (const auto* byIndex = std::get_if<ByIndex>(&which)) {
        if (byIndex->index >= 0 && byIndex->index < int64_t(displays.size())) return displays[size_t(byIndex->index)];
        return std::nullopt;
    }
    if (const auto* byNumber = std::get_if<ByNumber>(&which)) {
        const Displays ordered = mainFirstScreens(displays);
        if (byNumber->number >= 1 && byNumber->number <= int64_t(ordered.size()))
            return ordered[size_t(byNumber->number - 1)];
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<CaptureSelection> selection(const PixelRect& px, const DisplayDescription& display) {
    if (!(px.width > 0) || !(px.height > 0)) return std::nullopt;
    const double s = std::max(1.0, display.scale);
    const Rect& f = display.frame;
    const Rect global{f.minX() + px.x / s, f.maxY() - (px.y + px.height) / s, px.width / s, px.height / s};
    return CaptureSelection{display, CaptureSelectionGeometry::move(global, {0, 0}, f)};
}

SelectionResolution resolveSelection(const PixelRect& pixels, const Display& which, const Displays& displays,
                                     std::optional<Point> pointer) {
    std::optional<DisplayDescription> display = explicitScreen(which, displays);
    if (!display && std::holds_alternative<Automatic>(which)) {
        // Where no one can tell where the pointer is (a Wayland session),
        // the main display.
        if (pointer) {
            display = ScreenLocator::screen(*pointer, displays);
        } else if (!displays.empty()) {
            display = mainFirstScreens(displays).front();
        }
    }
    if (!display) return DisplayNotFound{};
    auto result = selection(pixels, *display);
    if (!result) return EmptyRectangle{};
    return *result;
}

}  // namespace tessarin::CaptureTarget
