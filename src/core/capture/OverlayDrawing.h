#pragma once
// What the area-selection overlay paints, as rectangles and texts the view
// fills in, and which parts of the view must be repainted when one picture
// turns into the next (a drag on a large display repaints strips, not the
// whole display).
//
// Coordinates are the overlay view's own points: origin at the bottom-left
// corner of the display, y growing upwards.

#include <optional>
#include <string>
#include <vector>

#include "core/capture/CaptureOverlayStyle.h"
#include "core/capture/OverlayToolbarModel.h"

namespace tessarin {

struct OverlayBadge {
    Rect frame;
    std::string text;
    friend bool operator==(const OverlayBadge&, const OverlayBadge&) = default;
};

struct OverlayDrawing {
    Rect bounds;                        // the whole view
    std::optional<Rect> selection;      // left clear and bordered; absent or empty → all masked
    std::vector<Rect> mask;             // bounds less the selection, up to four rectangles
    std::vector<Rect> knobs;            // the eight handles, in CaptureOverlayStyle::allHandles order
    std::optional<OverlayBadge> sizeBadge;
    std::optional<OverlayBadge> hintBadge;
    std::optional<OverlayToolbarLayout> toolbar;
    friend bool operator==(const OverlayDrawing&, const OverlayDrawing&) = default;
};

struct OverlayPictureState {
    Rect bounds;
    std::optional<Rect> selection;
    bool hasSelection = false;  // a usable selection: hides the hint
    std::string hintText;
    const CaptureSelectionToolbarController* toolbar = nullptr;
    OverlayTextMeasure measureText;
};

OverlayDrawing describeOverlay(const OverlayPictureState& state);

// Rectangles (possibly overlapping) covering every pixel that differs
// between the two pictures; empty when they are the same.
std::vector<Rect> repaintRegion(const OverlayDrawing& before, const OverlayDrawing& after);

// `a` less `b`, as up to four rectangles.
std::vector<Rect> subtracting(const Rect& a, const Rect& b);

}  // namespace tessarin
