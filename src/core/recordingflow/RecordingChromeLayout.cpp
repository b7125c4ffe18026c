#include "core/recordingflow/RecordingChromeLayout.h"

#include <algorithm>

namespace tessarin {

namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

bool inside(const Rect& inner, const Rect& outer) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}

// `panel` moved sideways (only) to lie within `display` when it is wide enough.
Rect keptInside(Rect panel, const Rect& display) {
    panel.x = std::clamp(panel.x, display.minX(), std::max(display.minX(), display.maxX() - panel.width));
    return panel;
}

std::vector<Rect> ringBands(const Rect& selection, const Rect& frame) {
    std::vector<Rect> bands = {
        {frame.minX(), frame.minY(), frame.width, selection.minY() - frame.minY()},     // top
        {frame.minX(), selection.maxY(), frame.width, frame.maxY() - selection.maxY()},  // bottom
        {frame.minX(), selection.minY(), selection.minX() - frame.minX(), selection.height},  // left
        {selection.maxX(), selection.minY(), frame.maxX() - selection.maxX(), selection.height},  // right
    };
    std::erase_if(bands, [](const Rect& band) { return !(band.width > 0) || !(band.height > 0); });
    return bands;
}

}  // namespace

RecordingChromeLayout layoutRecordingChrome(const Rect& selectionRect, const std::vector<Rect>& displays,
                                            size_t selectionDisplay, const RecordingConfiguration& configuration) {
    const Rect selection = selectionRect.standardized();
    const Rect display = selectionDisplay < displays.size() ? displays[selectionDisplay].standardized() : selection;
    const double padding = std::max(configuration.chromePadding, configuration.selectionStrokeWidth);
    RecordingChromeLayout layout;
    layout.frame = Rect{selection.minX() - padding, selection.minY() - padding, selection.width + 2 * padding,
                        selection.height + 2 * padding}
                       .intersection(display);
    if (layout.frame.isEmpty()) layout.frame = selection;
    layout.ring = ringBands(selection, layout.frame);

    const RecordingPanelSize size = configuration.recordingPanelSize;
    // The panel's top edge sits panelAnchorHeight above the selection; below
    // it, the same gap mirrored.
    const double gap = std::max(padding, configuration.panelAnchorHeight - size.height);
    const double centredX = selection.midX() - size.width / 2;
    const Rect above = keptInside({centredX, selection.minY() - gap - size.height, size.width, size.height}, display);
    const Rect below = keptInside({centredX, selection.maxY() + gap, size.width, size.height}, display);
    for (const auto& [candidate, placement] :
         {std::pair{above, RecordingPanelPlacement::aboveSelection}, std::pair{below, RecordingPanelPlacement::belowSelection}}) {
        if (inside(candidate, display) && !overlaps(candidate, layout.frame)) {
            layout.panel = candidate;
            layout.placement = placement;
            return layout;
        }
    }
    for (size_t i = 0; i < displays.size(); ++i) {
        const Rect other = displays[i].standardized();
        if (i == selectionDisplay || other.width < size.width || other.height < size.height) continue;
        // Bottom centre of the other display, clear of its edge by the gap.
        Rect candidate{other.midX() - size.width / 2, other.maxY() - size.height - padding, size.width, size.height};
        candidate = keptInside(candidate, other);
        if (overlaps(candidate, selection)) continue;
        layout.panel = candidate;
        layout.placement = RecordingPanelPlacement::otherDisplay;
        return layout;
    }
    // Nowhere outside: the bottom-right corner of the recording, clear of its edge.
    const Rect area = selection.intersection(display).isEmpty() ? selection : selection.intersection(display);
    layout.panel = {std::max(area.minX(), area.maxX() - size.width - padding),
                    std::max(area.minY(), area.maxY() - size.height - padding), size.width, size.height};
    layout.placement = RecordingPanelPlacement::insideRecording;
    return layout;
}

Point placeOutsideRecording(Size box, const Rect& selection, const Rect& display) {
    constexpr double margin = 16;
    const double left = display.minX(), top = display.minY(), right = display.maxX(), bottom = display.maxY();
    auto clampToDisplay = [&](Point p) {
        return Point{std::clamp(p.x, left, std::max(left, right - box.width)),
                     std::clamp(p.y, top, std::max(top, bottom - box.height))};
    };
    const double midX = selection.midX() - box.width / 2;
    const double midY = selection.midY() - box.height / 2;
    struct Strip {
        double room;   // across the strip, beyond the margin
        Point origin;  // the box centred in it
        double fits;   // along the strip: the box's side against the room there
    };
    const double aboveRoom = selection.minY() - top - margin;
    const double belowRoom = bottom - selection.maxY() - margin;
    const double leftRoom = selection.minX() - left - margin;
    const double rightRoom = right - selection.maxX() - margin;
    const Strip strips[] = {
        {aboveRoom - box.height, {midX, selection.minY() - margin - box.height}, display.width - box.width},
        {belowRoom - box.height, {midX, selection.maxY() + margin}, display.width - box.width},
        {leftRoom - box.width, {selection.minX() - margin - box.width, midY}, display.height - box.height},
        {rightRoom - box.width, {selection.maxX() + margin, midY}, display.height - box.height},
    };
    const Strip* best = nullptr;
    for (const Strip& strip : strips) {
        if (strip.room < 0 || strip.fits < 0) continue;
        if (!best || strip.room > best->room) best = &strip;
    }
    if (best) return clampToDisplay(best->origin);
    // No strip holds it: the corner farthest from the selection's middle.
    const double x = selection.midX() - left < right - selection.midX() ? right - box.width - margin : left + margin;
    const double y = selection.midY() - top < bottom - selection.midY() ? bottom - box.height - margin : top + margin;
    return clampToDisplay({x, y});
}

}  // namespace tessarin
