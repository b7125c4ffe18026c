#pragma once
// Requests and small helpers shared by the overlay model's tests.

#include <gtest/gtest.h>

#include "core/capture/AreaSelectionModel.h"

namespace tessarin::OverlayTests {

inline CaptureSelectionRequest request(CaptureSelectionActionStyle style = CaptureSelectionActionStyle::allInOne(),
                                       bool presetsEnabled = true, CapturePreset active = CapturePreset::freeform()) {
    return CaptureSelectionRequest::areaCapture(std::move(style), presetsEnabled, std::move(active));
}

inline bool covered(const std::vector<Rect>& rects, Point p) {
    for (const Rect& r : rects) {
        if (r.containsInclusive(p)) return true;
    }
    return false;
}

// Drags out a selection from `from` to `to` with the left button.
inline void drag(AreaSelectionModel& model, Point from, Point to) {
    model.mouseDown(from);
    model.mouseDragged(to);
    model.mouseUp(to);
}

inline Point centre(const Rect& r) { return {r.midX(), r.midY()}; }

}  // namespace tessarin::OverlayTests
