#pragma once
// The area-selection overlay across every display: one AreaSelectionModel
// per display, one selection at a time, and one ending for all of them.
// The views forward their events here with their display's index; the
// first confirmation or cancellation from any of them ends the session, and
// so does a change of the displays while it is up (the rectangles would no
// longer mean what the user saw).
//
// Event points are the receiving view's own points: origin at the
// bottom-left corner of its display, y growing upwards. The outcome's
// rectangle is in global desktop points, like every CaptureSelection.

#include <optional>
#include <vector>

#include "core/capture/AreaSelectionModel.h"
#include "core/capture/CaptureSelection.h"

namespace tessarin {

struct OverlayOutcome {
    CaptureSelection selection;  // rect in global points
    bool microphoneEnabled = false;
    CaptureSelectionAction action = CaptureSelectionAction::capture;
    friend bool operator==(const OverlayOutcome&, const OverlayOutcome&) = default;
};

struct OverlayRepaint {
    size_t display = 0;
    std::vector<Rect> rects;  // that display's view points
};

struct OverlaySessionResponse {
    bool handled = true;
    std::vector<OverlayRepaint> repaints;
    OverlayCursor cursor = OverlayCursor::crosshair;  // for the view that sent the event
    bool ended = false;  // this event ended the session: tear the overlays down
};

class OverlaySession {
public:
    // `startingDisplay`: where the capture began (the pointer's display);
    // keys go there while no display holds a selection.
    OverlaySession(std::vector<DisplayDescription> displays, const CaptureSelectionRequest& request,
                   size_t startingDisplay = 0, OverlayEnvironment environment = {});

    size_t displayCount() const { return views_.size(); }
    const DisplayDescription& display(size_t index) const { return displays_.at(index); }
    const AreaSelectionModel& view(size_t index) const { return views_.at(index); }

    bool hasEnded() const { return ended_; }
    // After the end: the confirmed selection, or none when cancelled.
    const std::optional<OverlayOutcome>& outcome() const { return outcome_; }

    // The display whose view takes key presses.
    size_t keyDisplay() const;

    OverlaySessionResponse keyDown(OverlayKeyPress press);
    OverlaySessionResponse mouseDown(size_t display, Point p);
    OverlaySessionResponse mouseDragged(size_t display, Point p);
    OverlaySessionResponse mouseUp(size_t display, Point p);
    OverlaySessionResponse mouseMoved(size_t display, Point p);
    OverlaySessionResponse mouseExited(size_t display);
    std::optional<std::vector<PresetMenuItem>> rightMouseDown(size_t display, Point p);
    OverlaySessionResponse choosePreset(size_t display, size_t index);

    // The displays as they are now; any difference from those the session
    // started with (one added, removed, moved or resized) cancels it.
    // Returns whether it ended the session.
    bool displaysChanged(const std::vector<DisplayDescription>& now);
    // Ends the session without a selection, e.g. when the flow is aborted.
    void cancel();

    // View points of `display` in global points.
    Rect globalRect(size_t display, const Rect& viewRect) const;
    // A global rectangle in the view points of `display`.
    Rect viewRect(size_t display, const Rect& globalRect) const;

private:
    OverlaySessionResponse finish(size_t display, OverlayResponse response);
    void end(std::optional<OverlayOutcome> outcome);

    std::vector<DisplayDescription> displays_;
    std::vector<AreaSelectionModel> views_;
    size_t startingDisplay_ = 0;
    bool ended_ = false;
    std::optional<OverlayOutcome> outcome_;
};

}  // namespace tessarin
