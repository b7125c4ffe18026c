#pragma once
// What the capture history window shows and offers, without a toolkit: one
// cell per history item (its title, badges, thumbnail revision and
// actions), the empty state, the toolbar's pause switch and the "Clear
// History" question. The view draws cells() and calls back; the controller
// (CaptureHistoryWindowController.h) carries the actions out.
//
// Actions whose targets this build lacks (the annotation editor, unpinning)
// are never offered: a button that only logs would look broken.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/CaptureHistoryItem.h"

namespace tessarin {

namespace HistoryWindowText {
inline constexpr std::string_view windowTitle = "Capture History";
inline constexpr std::string_view emptyTitle = "No Capture History";
inline constexpr std::string_view emptySymbol = "clock.arrow.circlepath";
inline constexpr std::string_view emptyMessage = "New screenshots will appear here.";
inline constexpr std::string_view pause = "Pause History";
inline constexpr std::string_view resume = "Resume History";
inline constexpr std::string_view clear = "Clear History";
inline constexpr std::string_view clearQuestion = "Clear Capture History?";
inline constexpr std::string_view clearMessage =
    "This permanently deletes every saved history item, including pinned items.";
inline constexpr std::string_view moreActions = "More Actions";
inline constexpr std::string_view annotatedBadge = "Annotated";
inline constexpr std::string_view pinnedBadge = "Pinned";
inline constexpr std::string_view imageOpenFailed = "Image Open Failed";
inline constexpr std::string_view imageOpenFailedMessage = "Failed to load screenshot image";
}  // namespace HistoryWindowText

enum class HistoryAction { open, annotate, copy, save, pin, unpin, reveal, remove };

// "Open", "Annotate", "Copy", "Save", "Pin", "Unpin",
// "Reveal in File Manager", "Delete".
std::string_view titleOf(HistoryAction action);
// "Area Capture", "Full Screen Capture", "Window Capture", "Scrolling
// Capture"; "Capture" for an item recorded without its kind.
std::string_view sourceTitleOf(const CaptureHistoryItem& item);

// Which actions have somewhere to go in this build.
struct HistoryActionTargets {
    bool editor = false;  // Open, Annotate
    bool pin = false;
    bool unpin = false;
};

struct CaptureHistoryCell {
    CaptureHistoryItem item;
    std::string title;
    std::vector<std::string> badges;  // "Annotated" before "Pinned"
    // Changes when the item's image is replaced, so a thumbnail loaded for
    // an older revision is loaded again.
    uint64_t thumbnailRevision = 0;
    std::vector<HistoryAction> buttons;      // on the cell
    std::vector<HistoryAction> moreActions;  // in the "More Actions" menu
};

// What a new item list changed, for the view to refresh only that.
struct HistoryListChanges {
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::string> thumbnailsChanged;
    bool cellsChanged = false;  // anything at all, order and badges included
};

class CaptureHistoryWindowModel {
public:
    explicit CaptureHistoryWindowModel(HistoryActionTargets targets) : targets_(targets) {}

    // The store's items, newest first.
    HistoryListChanges setItems(const std::vector<CaptureHistoryItem>& items);
    const std::vector<CaptureHistoryCell>& cells() const { return cells_; }
    const CaptureHistoryCell* cell(std::string_view id) const;
    bool isEmpty() const { return cells_.empty(); }
    // Whether the item's cell offers the action now (a stale click on a
    // removed item, or on "Pin" after it was pinned elsewhere, does nothing).
    bool offers(std::string_view id, HistoryAction action) const;
    // Marks an item's image as replaced although its record looks the same.
    void imageReplaced(std::string_view id);

    void setPaused(bool paused) { paused_ = paused; }
    bool isPaused() const { return paused_; }
    std::string_view pauseTitle() const { return paused_ ? HistoryWindowText::resume : HistoryWindowText::pause; }

    // "Clear History": the first request asks (true: show the question);
    // a request while the question is up asks nothing more. confirmClear()
    // is true only for an open question, once; cancelClear() closes it.
    bool requestClear();
    bool confirmClear();
    void cancelClear() { confirmingClear_ = false; }
    bool isConfirmingClear() const { return confirmingClear_; }

private:
    CaptureHistoryCell makeCell(const CaptureHistoryItem& item, uint64_t revision) const;

    HistoryActionTargets targets_;
    std::vector<CaptureHistoryCell> cells_;
    uint64_t nextRevision_ = 1;
    bool paused_ = false;
    bool confirmingClear_ = false;
};

}  // namespace tessarin
