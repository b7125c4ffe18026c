#pragma once
// The area-selection overlay of one display, without its window: turns the
// pointer and key events the view forwards into a selection rectangle, a
// cursor, a picture and the parts of the view to repaint, and says when the
// user confirmed or cancelled. The view only draws `drawing()`, repaints
// `OverlayResponse::repaint`, shows `OverlayResponse::cursor` and reports the
// ending.
//
// Coordinates are the view's own points: origin at the bottom-left corner of
// the display it covers, y growing upwards ("top" is maxY). The bounds are
// (0, 0, display width, display height).

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/capture/CaptureOverlayStyle.h"
#include "core/capture/CaptureSelectionRequest.h"
#include "core/capture/OverlayDrawing.h"
#include "core/capture/OverlayToolbarModel.h"

namespace tessarin {

// Keys by meaning; the view maps its platform's key codes onto these.
struct OverlayKeyPress {
    enum class Key { escape, r, returnKey, keypadEnter, other };
    Key key = Key::other;
    bool shift = false;
};

struct OverlayEnvironment {
    bool hapticFeedbackEnabled = true;
    // The platform's confirmation pattern; Linux has none, so it is empty.
    std::function<void()> performHapticFeedback;
    OverlayTextMeasure measureText;  // empty: an estimate
};

struct OverlayConfirmation {
    Rect selection;  // view points
    bool microphoneEnabled = false;
    CaptureSelectionAction action = CaptureSelectionAction::capture;
    friend bool operator==(const OverlayConfirmation&, const OverlayConfirmation&) = default;
};

struct OverlayResponse {
    bool handled = true;         // false: pass the event to the default handling
    std::vector<Rect> repaint;   // view points; may overlap
    OverlayCursor cursor = OverlayCursor::crosshair;
    std::optional<OverlayConfirmation> confirmed;
    bool cancelled = false;
};

struct PresetMenuItem {
    std::string title;
    bool checked = false;
    friend bool operator==(const PresetMenuItem&, const PresetMenuItem&) = default;
};

class AreaSelectionModel {
public:
    struct Creating {
        Point origin;
    };
    struct Moving {
        Rect initialSelection;
        Point dragOrigin;
    };
    struct Resizing {
        Rect initialSelection;
        CaptureOverlayStyle::Handle handle;
    };
    using Interaction = std::variant<Creating, Moving, Resizing>;

    // `initialSelection` in view points, e.g. a remembered area on this display.
    AreaSelectionModel(Size displaySize, CaptureSelectionRequest request, OverlayEnvironment environment = {},
                       std::optional<Rect> initialSelection = std::nullopt);

    Rect bounds() const { return bounds_; }
    const CaptureSelectionRequest& request() const { return request_; }
    const CapturePreset& activePreset() const { return activePreset_; }
    const CaptureSelectionToolbarController& toolbar() const { return toolbar_; }
    const std::optional<Interaction>& interaction() const { return interaction_; }
    std::optional<Point> currentMouseLocation() const { return currentMouseLocation_; }
    bool ignoringMouseSequence() const { return ignoringMouseSequence_; }
    std::optional<Rect> currentSelection() const { return currentSelection_; }
    // A selection at least the minimum dimension on each side: one that can
    // be confirmed.
    bool hasSelection() const;

    OverlayResponse keyDown(OverlayKeyPress press);
    OverlayResponse mouseDown(Point p);
    OverlayResponse mouseDragged(Point p);
    OverlayResponse mouseUp(Point p);
    OverlayResponse mouseMoved(Point p);
    OverlayResponse mouseExited();
    // The preset menu to pop up, or none when presets are off (default handling).
    std::optional<std::vector<PresetMenuItem>> rightMouseDown(Point p);
    // An item of the menu rightMouseDown returned.
    OverlayResponse choosePreset(size_t index);
    // Confirms the selection, if there is one, with `action` (default: the
    // button style's action, else capture).
    OverlayResponse confirmSelection(std::optional<CaptureSelectionAction> action = std::nullopt);
    // Drops the selection, e.g. when one is started on another display.
    OverlayResponse clearSelection();

    // The cursor to show with the pointer at `p`.
    OverlayCursor cursor(Point p) const;
    OverlayDrawing drawing() const;

private:
    // Runs `change` and reports what it changed on screen.
    template <typename Change>
    OverlayResponse changing(Change&& change);

    Rect draggedRect(Point p) const;
    void setSelection(std::optional<Rect> selection);
    void applyPreset(const CapturePreset& preset);
    void activateToolbarItem(size_t index, OverlayResponse& response);
    double effectiveMinimum(double extent) const;

    Rect bounds_;
    CaptureSelectionRequest request_;
    OverlayEnvironment environment_;
    CapturePreset activePreset_;
    CaptureSelectionToolbarController toolbar_;
    std::optional<Interaction> interaction_;
    std::optional<Point> currentMouseLocation_;
    bool ignoringMouseSequence_ = false;
    std::optional<Rect> currentSelection_;
};

}  // namespace tessarin
