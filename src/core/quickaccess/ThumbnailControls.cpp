#include "core/quickaccess/ThumbnailControls.h"

#include <algorithm>

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
        case ThumbnailAction::edit: return {};  // drawn as a play mark
        case ThumbnailAction::reveal: return localized("Reveal");
        case ThumbnailAction::saveAs: return localized("Save As");
    }
    return {};
}

namespace {

// The play button in the middle of the poster, the other actions side by
// side along the bottom edge, in the order given.
std::vector<ThumbnailControl> recordingLayout(const std::vector<ThumbnailAction>& actions) {
    const Size window = QuickAccessLayout::thumbnailSize;
    std::vector<ThumbnailControl> controls;
    const double playTop = (window.height - buttonHeight - rowInset - playSide) / 2;
    controls.push_back({ThumbnailAction::edit, {(window.width - playSide) / 2, playTop, playSide, playSide}, {}});
    std::vector<ThumbnailAction> row;
    for (ThumbnailAction action : actions) {
        if (action != ThumbnailAction::edit) row.push_back(action);
    }
    if (row.empty()) return controls;
    const double count = static_cast<double>(row.size());
    const double width = (window.width - 2 * rowInset - (count - 1) * buttonGap) / count;
    double x = rowInset;
    const double y = window.height - rowInset - buttonHeight;
    for (ThumbnailAction action : row) {
        controls.push_back({action, {x, y, width, buttonHeight}, label(action)});
        x += width + buttonGap;
    }
    return controls;
}

}  // namespace

std::vector<ThumbnailControl> layout(const std::vector<ThumbnailAction>& actions) {
    if (std::find(actions.begin(), actions.end(), ThumbnailAction::edit) != actions.end()) {
        return recordingLayout(actions);
    }
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
