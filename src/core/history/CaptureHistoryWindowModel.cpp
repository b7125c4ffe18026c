#include "core/history/CaptureHistoryWindowModel.h"

#include <algorithm>
#include <set>

namespace tessarin {
namespace {

// The fields an edit of the image changes: a different value means the
// thumbnail file was written again.
bool sameImage(const CaptureHistoryItem& a, const CaptureHistoryItem& b) {
    return a.imageFilename == b.imageFilename && a.pixelWidth == b.pixelWidth && a.pixelHeight == b.pixelHeight &&
           a.isAnnotated == b.isAnnotated;
}

}  // namespace

std::string_view titleOf(HistoryAction action) {
    switch (action) {
        case HistoryAction::open: return "Open";
        case HistoryAction::annotate: return "Annotate";
        case HistoryAction::copy: return "Copy";
        case HistoryAction::save: return "Save";
        case HistoryAction::pin: return "Pin";
        case HistoryAction::unpin: return "Unpin";
        case HistoryAction::reveal: return "Reveal in File Manager";
        case HistoryAction::remove: return "Delete";
    }
    return "";
}

std::string_view sourceTitleOf(const CaptureHistoryItem& item) {
    if (!item.sourceMode) return "Capture";
    switch (*item.sourceMode) {
        case CaptureMode::area: return "Area Capture";
        case CaptureMode::fullScreen: return "Full Screen Capture";
        case CaptureMode::window: return "Window Capture";
        case CaptureMode::scrolling: return "Scrolling Capture";
    }
    return "Capture";
}

CaptureHistoryCell CaptureHistoryWindowModel::makeCell(const CaptureHistoryItem& item, uint64_t revision) const {
    CaptureHistoryCell cell;
    cell.item = item;
    cell.title = std::string(sourceTitleOf(item));
    if (item.isAnnotated) cell.badges.emplace_back(HistoryWindowText::annotatedBadge);
    if (item.isPinned) cell.badges.emplace_back(HistoryWindowText::pinnedBadge);
    cell.thumbnailRevision = revision;
    // The frequent actions are buttons; the rest wait in "More Actions".
    if (targets_.editor) cell.buttons.push_back(HistoryAction::open);
    cell.buttons.push_back(HistoryAction::copy);
    cell.buttons.push_back(HistoryAction::save);
    if (targets_.editor) cell.moreActions.push_back(HistoryAction::annotate);
    if (!item.isPinned && targets_.pin) cell.moreActions.push_back(HistoryAction::pin);
    if (item.isPinned && targets_.unpin) cell.moreActions.push_back(HistoryAction::unpin);
    cell.moreActions.push_back(HistoryAction::reveal);
    cell.moreActions.push_back(HistoryAction::remove);
    return cell;
}

HistoryListChanges CaptureHistoryWindowModel::setItems(const std::vector<CaptureHistoryItem>& items) {
    HistoryListChanges changes;
    std::map<std::string, const CaptureHistoryCell*, std::less<>> before;
    for (const auto& cell : cells_) before.emplace(cell.item.id, &cell);

    std::vector<CaptureHistoryCell> next;
    next.reserve(items.size());
    std::set<std::string, std::less<>> present;
    for (const auto& item : items) {
        if (!present.insert(item.id).second) continue;  // one cell per id
        const auto old = before.find(item.id);
        uint64_t revision = 0;
        if (old == before.end()) {
            revision = nextRevision_++;
            changes.added.push_back(item.id);
        } else if (!sameImage(old->second->item, item)) {
            revision = nextRevision_++;
            changes.thumbnailsChanged.push_back(item.id);
        } else {
            revision = old->second->thumbnailRevision;
        }
        next.push_back(makeCell(item, revision));
    }
    for (const auto& cell : cells_) {
        if (!present.count(cell.item.id)) changes.removed.push_back(cell.item.id);
    }
    changes.cellsChanged = next.size() != cells_.size() ||
                           !std::equal(next.begin(), next.end(), cells_.begin(), [](const auto& a, const auto& b) {
                               return a.item == b.item && a.thumbnailRevision == b.thumbnailRevision;
                           });
    cells_ = std::move(next);
    return changes;
}

const CaptureHistoryCell* CaptureHistoryWindowModel::cell(std::string_view id) const {
    for (const auto& cell : cells_) {
        if (cell.item.id == id) return &cell;
    }
    return nullptr;
}

bool CaptureHistoryWindowModel::offers(std::string_view id, HistoryAction action) const {
    const CaptureHistoryCell* found = cell(id);
    if (!found) return false;
    const auto has = [action](const std::vector<HistoryAction>& list) {
        return std::find(list.begin(), list.end(), action) != list.end();
    };
    return has(found->buttons) || has(found->moreActions);
}

void CaptureHistoryWindowModel::imageReplaced(std::string_view id) {
    for (auto& cell : cells_) {
        if (cell.item.id == id) cell.thumbnailRevision = nextRevision_++;
    }
}

bool CaptureHistoryWindowModel::requestClear() {
    if (confirmingClear_) return false;
    confirmingClear_ = true;
    return true;
}

bool CaptureHistoryWindowModel::confirmClear() {
    if (!confirmingClear_) return false;
    confirmingClear_ = false;
    return true;
}

}  // namespace tessarin
