#pragma once
// The Quick Access thumbnails: a floating preview of each finished capture
// in a bottom corner of the screen, from which the user copies, saves,
// pins, annotates, closes or drags the image out. Thumbnails stack in a
// column, oldest at the bottom; beyond the configured maximum the oldest
// is dismissed. There is no time-out.
//
// Each thumbnail is tied to its capture's history item once the capture's
// persistence ticket resolves: the item is flagged Quick Access (the
// history keeps such items whatever its retention) while the thumbnail is
// shown, the flag is cleared when it goes, and the history is pruned then
// since the item may have become evictable. Thumbnails of flagged items
// come back at the next launch (restore()); an item whose image no longer
// loads loses its flag instead.
//
// A finished recording takes its place in the same column: its poster,
// duration and name, with play/edit, "Reveal", "Save As" and "Close". It
// stacks, is evicted and restacked like the others, but has no history
// item and no drag file, so it does not come back at the next launch.
//
// Decisions only: the windows are behind ThumbnailWindow, made by the
// ThumbnailDesktop port, and the history behind QuickAccessHistory. Main
// executor only.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Lifetime.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/preferences/PreferenceValues.h"
#include "core/quickaccess/ThumbnailControls.h"
#include "core/quickaccess/ThumbnailDragFile.h"
#include "render/ImageDecoder.h"

namespace tessarin {

using ThumbnailID = uint64_t;

// One shown window. The presenter owns it until it is dismissed, then
// calls fadeOut(), after which the window closes itself in its own time.
class ThumbnailWindow {
public:
    virtual ~ThumbnailWindow() = default;
    // The visible frame of the display the window stands on, once placed.
    virtual std::optional<Rect> currentVisibleFrame() const = 0;
    virtual void moveTo(Point origin) = 0;
    // Raises the window above others without giving it the focus.
    virtual void orderFront() = 0;
    virtual Rect frame() const = 0;
    virtual void fadeOut() = 0;
};

class ThumbnailPresenter;

// What a recording's thumbnail shows besides its poster.
struct ThumbnailVideo {
    std::filesystem::path file;
    std::string durationText;  // "0:03"
};

// What a window is made from.
struct ThumbnailContent {
    ThumbnailID id = 0;
    SharedImage image;  // a recording's poster; may be empty for one
    std::vector<ThumbnailAction> actions;
    std::shared_ptr<ThumbnailDragFile> dragFile;
    std::optional<ThumbnailVideo> video;
};

class ThumbnailDesktop {
public:
    virtual ~ThumbnailDesktop() = default;
    // A window showing `content`, not yet placed; its buttons call
    // presenter.perform() and its drags use content.dragFile.
    virtual std::unique_ptr<ThumbnailWindow> makeWindow(const ThumbnailContent& content,
                                                        ThumbnailPresenter& presenter) = 0;
    // The visible frame of the display under the pointer; nothing when no
    // display is connected.
    virtual std::optional<Rect> visibleFrameUnderPointer() const = 0;
};

class QuickAccessHistory {
public:
    virtual ~QuickAccessHistory() = default;
    virtual void setQuickAccess(const std::string& itemID, bool shown) = 0;
    // Prunes with the current retention settings.
    virtual void prune() = 0;
    // The items flagged Quick Access, newest first.
    virtual std::vector<CaptureHistoryItem> quickAccessItems() const = 0;
    virtual void loadImage(const std::string& itemID, Completion<DecodeResult> done) = 0;
};

struct QuickAccessSettings {
    QuickAccessPosition position = QuickAccessPosition::bottomRight;
    int maxCount = 5;
};

// Where the thumbnail's actions go. Empty functions are actions the
// application does not have: their buttons are not offered.
struct ThumbnailServices {
    std::function<void(SharedImage, Completion<bool>)> copy;
    std::function<void(SharedImage, ImageFormat, Completion<PathResult>)> save;
    std::function<void(SharedImage, std::shared_ptr<CapturePersistenceTicket>)> pin;
    // Opens the editor; the edited image is merged into the ticket's item
    // and shown in a new thumbnail by whoever supplies this.
    std::function<void(SharedImage, std::optional<CaptureSessionInfo>, std::shared_ptr<CapturePersistenceTicket>)>
        annotate;
    std::function<void(const std::string& message)> presentError;
    // Writes a drag file for the image in the format.
    std::function<void(SharedImage, ImageFormat, Completion<PathResult>)> writeDragFile;
};

class ThumbnailPresenter final : public QuickAccessPresenter {
public:
    struct Dependencies {
        Executor& main;
        ThumbnailDesktop& desktop;
        QuickAccessHistory& history;
        std::function<QuickAccessSettings()> settings;
        ThumbnailServices services;
    };

    explicit ThumbnailPresenter(Dependencies dependencies);
    ~ThumbnailPresenter() override;
    ThumbnailPresenter(const ThumbnailPresenter&) = delete;
    ThumbnailPresenter& operator=(const ThumbnailPresenter&) = delete;

    // A finished capture: shown now, bound to its history item once the
    // ticket resolves.
    void present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem,
                 ImageFormat dragExportFormat, const CaptureSessionInfo& session) override;
    // A finished recording, shown now. `act` gets edit (after the
    // thumbnail is gone), reveal and saveAs (the thumbnail stays); close
    // only dismisses it.
    ThumbnailID presentVideo(SharedImage poster, ThumbnailVideo video, std::function<void(ThumbnailAction)> act);
    // A stored Quick Access item shown again (launch restore).
    ThumbnailID showStoredItem(const CaptureHistoryItem& item, SharedImage image, ImageFormat dragExportFormat);
    // Shows the thumbnails of the history's Quick Access items, oldest
    // first, each as its image loads; an item whose image does not load has
    // its flag cleared. `done` runs once all are through.
    void restore(ImageFormat dragExportFormat, std::function<void()> done = {});

    void perform(ThumbnailID id, ThumbnailAction action);
    // Removes the thumbnail, clears its item's flag, prunes, fades it out
    // and restacks the rest. Nothing when it is not shown.
    void dismiss(ThumbnailID id);
    // Lays the column out again (after a screen or position change).
    void restackOverlays();
    // The thumbnails of removed items close at once, without pruning again.
    void closeOverlays(const std::vector<std::string>& removedHistoryItemIDs);
    // Closes every thumbnail without touching the history (quit): they
    // come back at the next launch.
    void closeAllForQuit();

    // Shown thumbnails, oldest first.
    std::vector<ThumbnailID> presented() const;
    std::optional<std::string> historyItemID(ThumbnailID id) const;
    std::vector<ThumbnailAction> availableActions() const;
    ThumbnailWindow* window(ThumbnailID id) const;

private:
    struct Presented {
        ThumbnailID id = 0;
        std::unique_ptr<ThumbnailWindow> window;
        SharedImage image;
        std::optional<CaptureSessionInfo> session;
        std::optional<std::string> historyItemID;
        std::shared_ptr<CapturePersistenceTicket> ticket;
        ImageFormat dragExportFormat;
        std::shared_ptr<ThumbnailDragFile> dragFile;
        std::optional<ThumbnailVideo> video;
        std::function<void(ThumbnailAction)> videoAction;
    };
    enum class Flag { clear, keep };
    enum class Pruning { prune, skip };

    ThumbnailID show(SharedImage image, std::optional<CaptureSessionInfo> session,
                     std::optional<std::string> historyItemID, std::shared_ptr<CapturePersistenceTicket> ticket,
                     ImageFormat dragExportFormat);
    ThumbnailID place(Presented shown, std::vector<ThumbnailAction> actions);
    void performForVideo(ThumbnailID id, ThumbnailAction action);
    void bind(ThumbnailID id, const std::optional<CaptureHistoryItem>& item);
    void evictIfNeeded();
    void remove(ThumbnailID id, Flag flag, Pruning pruning);
    void restoreNext(std::shared_ptr<std::deque<CaptureHistoryItem>> queue, ImageFormat format,
                     std::function<void()> done);
    void save(ThumbnailID id);
    Presented* find(ThumbnailID id);
    const Presented* find(ThumbnailID id) const;
    void logFront(const Presented& shown, const char* phase) const;

    Dependencies d_;
    std::vector<Presented> presented_;  // oldest first
    ThumbnailID nextID_ = 1;
    LifetimeToken lifetime_;  // last: invalidated first
};

// The presenter's history port over the application's history store.
class QuickAccessHistoryStore final : public QuickAccessHistory {
public:
    // `retention` gives (maxCount, maxAgeDays) as set now.
    QuickAccessHistoryStore(CaptureHistoryStore& store, std::function<std::pair<int, int>()> retention)
        : store_(store), retention_(std::move(retention)) {}
    void setQuickAccess(const std::string& itemID, bool shown) override { store_.setQuickAccess(itemID, shown); }
    void prune() override;
    std::vector<CaptureHistoryItem> quickAccessItems() const override { return store_.quickAccessItems(); }
    void loadImage(const std::string& itemID, Completion<DecodeResult> done) override {
        store_.loadImageAsync(itemID, std::move(done));
    }

private:
    CaptureHistoryStore& store_;
    std::function<std::pair<int, int>()> retention_;
};

}  // namespace tessarin
