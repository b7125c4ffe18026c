#pragma once
// The floating toolbar of the area-selection overlay: which controls it
// offers for the request's action style, whether it shows, the preset badge,
// where it floats next to the selection, and which control a point hits.
//
// Coordinates are the overlay view's own points: origin at the bottom-left
// corner of the display, y growing upwards.

#include <optional>
#include <string>
#include <vector>

#include "core/capture/CaptureOverlayStyle.h"
#include "core/capture/CaptureSelectionRequest.h"

namespace tessarin {

struct OverlayToolbarItem {
    enum class Kind { presetBadge, microphoneToggle, actionButton };
    Kind kind = Kind::actionButton;
    std::string title;       // the badge's text, or the button's title (its tooltip when icon-only)
    std::string symbolName;  // freedesktop icon name; empty for the badge
    bool showsTitle = false; // titled button, or icon only
    std::optional<CaptureSelectionAction> action;
    bool checked = false;    // the microphone toggle's state
    bool pressed = false;    // held down by the pointer
    Rect frame;              // view points
    friend bool operator==(const OverlayToolbarItem&, const OverlayToolbarItem&) = default;
};

struct OverlayToolbarLayout {
    Rect frame;  // view points
    std::vector<OverlayToolbarItem> items;
    friend bool operator==(const OverlayToolbarLayout&, const OverlayToolbarLayout&) = default;
};

class CaptureSelectionToolbarController {
public:
    // Metrics in points.
    static constexpr double height = 44;
    static constexpr double padding = 6;      // around the items
    static constexpr double spacing = 4;      // between items
    static constexpr double itemHeight = 32;
    static constexpr double iconButtonWidth = 36;
    static constexpr double selectionGap = 12;  // clear of the handles' grab areas
    static constexpr double displayMargin = 8;

    explicit CaptureSelectionToolbarController(const CaptureSelectionRequest& request,
                                               OverlayTextMeasure measureText = {});

    bool microphoneEnabled() const { return microphoneEnabled_; }
    void toggleMicrophone() { microphoneEnabled_ = !microphoneEnabled_; }

    bool isVisible() const { return visible_; }
    void updateVisibility(bool hasSelection) { visible_ = hasSelection; }

    // The badge shows the active preset's short name; none when the request
    // offers no presets.
    void updatePresetBadge(const CapturePreset& activePreset);
    std::optional<std::string> presetBadgeText() const;

    // Floats the toolbar below the selection, else above it, else inside its
    // bottom edge; centred on it and always within `displayBounds`.
    void place(const Rect& selection, const Rect& displayBounds);
    Rect frame() const { return frame_; }

    // Whether the visible toolbar covers `point`.
    bool hitTestFloatingToolbar(Point point) const;
    // Index into layout().items of the control at `point`, if any.
    std::optional<size_t> itemAt(Point point) const;
    void setPressedItem(std::optional<size_t> index) { pressedItem_ = index; }
    std::optional<size_t> pressedItem() const { return pressedItem_; }

    // The controls with their frames, as drawn.
    OverlayToolbarLayout layout() const;

private:
    struct Control {
        OverlayToolbarItem::Kind kind;
        std::string title;
        std::string symbolName;
        bool showsTitle;
        std::optional<CaptureSelectionAction> action;
    };

    double itemWidth(const Control& control) const;
    double contentWidth() const;

    std::vector<Control> controls_;
    OverlayTextMeasure measureText_;
    bool microphoneEnabled_ = false;
    bool visible_ = false;
    std::optional<std::string> presetBadge_;
    Rect frame_;
    std::optional<size_t> pressedItem_;
};

}  // namespace tessarin
