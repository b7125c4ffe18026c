#include "core/capture/OverlayToolbarModel.h"

#include <algorithm>
#include <cmath>

#include "core/capture/CaptureSelectionGeometry.h"
#include "core/common/Localization.h"

namespace tessarin {
namespace {

constexpr const char* microphoneOnIcon = "audio-input-microphone";
constexpr const char* microphoneOffIcon = "microphone-sensitivity-muted";

}  // namespace

CaptureSelectionToolbarController::CaptureSelectionToolbarController(const CaptureSelectionRequest& request,
                                                                     OverlayTextMeasure measureText)
    : measureText_(std::move(measureText)) {
    using Kind = OverlayToolbarItem::Kind;
    if (request.presetsEnabled && !request.presets.empty()) {
        controls_.push_back({Kind::presetBadge, {}, {}, true, std::nullopt});
        presetBadge_ = request.activePreset.compactName();
    }
    const CaptureSelectionActionStyle& style = request.actionStyle;
    switch (style.kind) {
        case CaptureSelectionActionStyle::Kind::button:
            controls_.push_back({Kind::actionButton, style.title, style.symbolName, true, style.action});
            break;
        case CaptureSelectionActionStyle::Kind::recording:
            microphoneEnabled_ = style.defaultMicrophoneEnabled;
            controls_.push_back({Kind::microphoneToggle, localized("Microphone"), microphoneOnIcon, false, {}});
            controls_.push_back({Kind::actionButton, title(CaptureSelectionAction::record),
                                 std::string(iconName(CaptureSelectionAction::record)), true,
                                 CaptureSelectionAction::record});
            break;
        case CaptureSelectionActionStyle::Kind::allInOne:
            for (CaptureSelectionAction action : allCaptureSelectionActions) {
                const auto& hidden = style.hiddenActions;
                if (std::find(hidden.begin(), hidden.end(), action) != hidden.end()) continue;
                controls_.push_back(
                    {Kind::actionButton, title(action), std::string(iconName(action)), false, action});
            }
            break;
    }
}

void CaptureSelectionToolbarController::updatePresetBadge(const CapturePreset& activePreset) {
    if (presetBadge_) presetBadge_ = activePreset.compactName();
}

std::optional<std::string> CaptureSelectionToolbarController::presetBadgeText() const { return presetBadge_; }

double CaptureSelectionToolbarController::itemWidth(const Control& control) const {
    if (!control.showsTitle) return iconButtonWidth;
    const std::string& text =
        control.kind == OverlayToolbarItem::Kind::presetBadge ? presetBadge_.value_or("") : control.title;
    const double textWidth = measureText_ ? measureText_(text) : CaptureOverlayStyle::estimatedTextWidth(text);
    const double iconWidth = control.symbolName.empty() ? 0 : 16 + 6;
    return std::ceil(textWidth) + iconWidth + 2 * 10;
}

double CaptureSelectionToolbarController::contentWidth() const {
    double width = 0;
    for (const Control& control : controls_) width += itemWidth(control);
    if (controls_.size() > 1) width += spacing * double(controls_.size() - 1);
    return width;
}

void CaptureSelectionToolbarController::place(const Rect& selection, const Rect& displayBounds) {
    const Rect s = selection.standardized();
    const Rect b = displayBounds.standardized();
    const double w = contentWidth() + 2 * padding;
    const double h = height;
    const double lowest = b.minY() + displayMargin;
    const double highest = b.maxY() - displayMargin - h;

    double y = s.minY() - selectionGap - h;  // below
    if (y < lowest) {
        y = s.maxY() + selectionGap;  // above
        if (y > highest) y = std::max(lowest, std::min(s.minY() + selectionGap, highest));  // inside
    }
    const double x = std::max(b.minX() + displayMargin, std::min(s.midX() - w / 2, b.maxX() - displayMargin - w));
    // A display too small for the margins still holds the toolbar.
    frame_ = CaptureSelectionGeometry::translatedToFit({x, y, w, h}, b);
}

bool CaptureSelectionToolbarController::hitTestFloatingToolbar(Point point) const {
    return visible_ && frame_.containsInclusive(point);
}

std::optional<size_t> CaptureSelectionToolbarController::itemAt(Point point) const {
    if (!hitTestFloatingToolbar(point)) return std::nullopt;
    const OverlayToolbarLayout laidOut = layout();
    for (size_t i = 0; i < laidOut.items.size(); ++i) {
        const OverlayToolbarItem& item = laidOut.items[i];
        if (item.kind != OverlayToolbarItem::Kind::presetBadge && item.frame.containsInclusive(point)) return i;
    }
    return std::nullopt;
}

OverlayToolbarLayout CaptureSelectionToolbarController::layout() const {
    OverlayToolbarLayout result{frame_, {}};
    double x = frame_.x + padding;
    const double y = frame_.y + (height - itemHeight) / 2;
    for (size_t i = 0; i < controls_.size(); ++i) {
        const Control& control = controls_[i];
        OverlayToolbarItem item;
        item.kind = control.kind;
        item.title = control.kind == OverlayToolbarItem::Kind::presetBadge ? presetBadge_.value_or("") : control.title;
        item.symbolName = control.symbolName;
        item.showsTitle = control.showsTitle;
        item.action = control.action;
        if (control.kind == OverlayToolbarItem::Kind::microphoneToggle) {
            item.checked = microphoneEnabled_;
            item.symbolName = microphoneEnabled_ ? microphoneOnIcon : microphoneOffIcon;
        }
        item.pressed = pressedItem_ == i;
        const double w = itemWidth(control);
        item.frame = {x, y, w, itemHeight};
        x += w + spacing;
        result.items.push_back(std::move(item));
    }
    return result;
}

}  // namespace tessarin
