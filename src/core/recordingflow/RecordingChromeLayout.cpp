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

}  // namespace tessarin
