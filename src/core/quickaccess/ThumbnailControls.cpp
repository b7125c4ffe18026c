#include "core/quickaccess/ThumbnailControls.h"

#include "core/common/Localization.h"
#include "core/quickaccess/QuickAccessLayout.h"

namespace tessarin::ThumbnailControls {

std::string label(ThumbnailAction action) {
    switch (action) {
        case ThumbnailAction::copy: return localized("Copy");
        case ThumbnailAction::save: return localized("Save");
        case ThumbnailAction::pin: return localized("Pin");
        case ThumbnailAction::annotate: return localized("Annotate");
        case ThumbnailAction::close: return localized("Close");
    }
    return {};
}

std::vector<ThumbnailControl> layout(const std::vector<ThumbnailAction>& actions) {
    const Size window = QuickAccessLayout::thumbnailSize;
    std::vector<ThumbnailControl> controls;
    std::vector<ThumbnailAction> column;
    for (ThumbnailAction action : actions) {
        if (action == ThumbnailAction::close) {
            controls.push_back({action, {8, 8, closeSide, closeSide}, {}});
        } else {
            column.push_back(action);
        }
    }
    if (column.empty()) return controls;
    const double height = static_cast<double>(column.size()) * buttonHeight +
                          static_cast<double>(column.size() - 1) * buttonGap;
    double y = (window.height - height) / 2;
    const double x = (window.width - buttonWidth) / 2;
    for (ThumbnailAction action : column) {
        controls.push_back({action, {x, y, buttonWidth, buttonHeight}, label(action)});
        y += buttonHeight + buttonGap;
    }
    return controls;
}

std::optional<ThumbnailAction> actionAt(const std::vector<ThumbnailControl>& controls, Point p) {
    for (const ThumbnailControl& control : controls) {
        if (control.frame.containsInclusive(p)) return control.action;
    }
    return std::nullopt;
}

}  // namespace tessarin::ThumbnailControls
