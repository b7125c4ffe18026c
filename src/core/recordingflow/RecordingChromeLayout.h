#pragma once
// Where the recording's chrome goes: the frame ring around the recorded
// rectangle and the control panel with the clock, Stop and Discard.
//
// X11 cannot leave our own windows out of a screen grab, so nothing of the
// chrome may lie inside the recorded rectangle: the ring is four bands just
// outside it (clipped to its display), and the panel goes above the
// selection, else below it, else on another display. Only when none of
// those has room (a full-screen recording on a single display) does the
// panel sit inside the recording, in the corner where it covers least, and
// the layout says so.
//
// All rectangles are in the desktop's top-left coordinates (y down), the
// way the windows are placed.

#include <cstddef>
#include <vector>

#include "core/common/Geometry.h"
#include "core/recording/RecordingConfiguration.h"

namespace tessarin {

// Raw values appear in the log; append only.
enum class RecordingPanelPlacement { aboveSelection = 0, belowSelection = 1, otherDisplay = 2, insideRecording = 3 };

struct RecordingChromeLayout {
    Rect frame;              // the ring's outer bounds (the selection grown by the padding, clipped)
    std::vector<Rect> ring;  // the bands of the ring, none overlapping the selection
    Rect panel;
    RecordingPanelPlacement placement = RecordingPanelPlacement::aboveSelection;
};

// `selection` lies on `displays[selectionDisplay]`; `displays` are the
// displays' frames. The selection is taken as it is (integral pixels).
RecordingChromeLayout layoutRecordingChrome(const Rect& selection, const std::vector<Rect>& displays,
                                            size_t selectionDisplay, const RecordingConfiguration& configuration);

// Where a message `box` (its size) goes on `display` so that it covers
// nothing of the recording: centred in the widest free strip beside the
// selection (above, below, left or right), or, when none is large enough,
// in the display's corner farthest from it. The top-left point.
Point placeOutsideRecording(Size box, const Rect& selection, const Rect& display);

}  // namespace tessarin
