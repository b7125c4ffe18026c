#pragma once
// Owns the pinned screenshots on the screen: opens a window per pin,
// records what the windows report (moves, closes) in the PinStore, keeps
// the linked history items' pinned flags in step, brings pins back at
// launch and on "Restore Recently Closed", closes pins whose history item
// was removed, and moves pins back onto the screen when displays change.
// The windows themselves are the desktop's (PinWindowHost); every decision
// is made here. Main executor only.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/capture/CaptureHistoryStore.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/pins/PinPlacement.h"
#include "core/pins/PinStore.h"

namespace tessarin {

// The desktop's pin windows. Frames are global points, bottom-left origin.
class PinWindowHost {
public:
    virtual ~PinWindowHost() = default;
    // Connected displays, the main one first; empty without a display.
    virtual std::vector<PinPlacement::Screen> liveScreens() = 0;
    // The display under the pointer, when known.
    virtual std::optional<uint32_t> screenUnderPointer() = 0;
    // Shows a window for `image` at `frame`, resizable down to `minimum`
    // with the image's aspect ratio. Its moves and closes are reported to
    // the presenter (windowMoved, windowClosed). An image that is not
    // `complete` is a preview: the window offers no copy or save until
    // setImage hands it the full image.
    virtual void open(const std::string& id, SharedImage image, Rect frame, Size minimum, bool complete) = 0;
    virtual void setImage(const std::string& id, SharedImage image) = 0;
    // Closes a window without reporting it.
    virtual void close(const std::string& id) = 0;
    virtual void raise(const std::string& id) = 0;
    virtual void setFrame(const std::string& id, Rect frame) = 0;
};

// The history items a pin may be linked to.
class PinHistoryLink {
public:
    virtual ~PinHistoryLink() = default;
    virtual bool contains(std::string_view id) const = 0;
    virtual void setPinned(std::string_view id, bool pinned) = 0;
    virtual void reconcilePinnedIDs(const std::set<std::string, std::less<>>& pinnedIDs) = 0;
};

// The link over the application's history store.
class CaptureHistoryPinLink final : public PinHistoryLink {
public:
    explicit CaptureHistoryPinLink(CaptureHistoryStore& history) : history_(history) {}
    bool contains(std::string_view id) const override { return history_.item(id) != nullptr; }
    void setPinned(std::string_view id, bool pinned) override { history_.setPinned(id, pinned); }
    void reconcilePinnedIDs(const std::set<std::string, std::less<>>& ids) override { history_.reconcilePinnedIDs(ids); }

private:
    CaptureHistoryStore& history_;
};

class PinnedScreenshotPresenter final : public PinPresenter {
public:
    PinnedScreenshotPresenter(PinStore& store, PinWindowHost& windows, PinHistoryLink& history, FlowAlerts& alerts);
    PinnedScreenshotPresenter(const PinnedScreenshotPresenter&) = delete;
    PinnedScreenshotPresenter& operator=(const PinnedScreenshotPresenter&) = delete;

    // The capture flow's port: pins the image under its history item's id
    // once the ticket tells it (a fresh id when there is no item).
    void pin(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem) override;
    // Opens a window at once and stores the pin; an id already open only
    // raises its window. When storing fails the window closes, the id is
    // forgotten and a warning names the error.
    void pin(SharedImage image, const std::string& id, bool linkedToHistory);
    // Closes without keeping it in recently closed, forgets it, and clears
    // the history item's pinned flag.
    void unpin(const std::string& id);

    // From the windows.
    void windowMoved(const std::string& id, Rect frame);
    void windowClosed(const std::string& id, Rect frame);

    void restoreMostRecentlyClosed();
    // Opens a window for every stored open pin, decoding their images off
    // the main executor: first the small previews, so every pin shows
    // quickly, then the full images, which replace them. `done` runs once
    // all full images have been tried, with how many pins are shown.
    void restorePersistedPins(std::function<void(size_t shown)> done = {});
    void closeOverlays(const std::vector<std::string>& removedHistoryItemIDs);
    // Moves every window into the visible frame of its display (the main
    // one when its own is gone) and places windows waiting for a display.
    void restackOverlays();

    bool isShown(std::string_view id) const;
    size_t shownCount() const;

private:
    struct Window {
        SharedImage image;
        std::optional<Rect> frame;  // nothing: waiting for a display
        bool complete = true;       // false while `image` is the preview
    };

    std::optional<uint32_t> screenIDOf(const Rect& frame);
    // Opens (or, without a display, holds back) a window.
    void show(const std::string& id, SharedImage image, std::optional<Rect> frame, bool complete = true);
    // A stored open pin with its preview (`complete` false) or full image.
    void showRestored(const StoredPin& pin, SharedImage image, bool complete);
    void restoreLoaded(const StoredPin& pin, PinImage full);
    Size imageSize(const SharedImage& image) const;

    PinStore& store_;
    PinWindowHost& windows_;
    PinHistoryLink& history_;
    FlowAlerts& alerts_;
    std::map<std::string, Window, std::less<>> open_;
    // Windows closed before their pin was stored, with their last frame.
    std::map<std::string, Rect, std::less<>> closedBeforeStored_;
    // Windows unpinned or closed with their history item before their pin was stored.
    std::set<std::string, std::less<>> droppedBeforeStored_;
    LifetimeToken lifetime_;  // last: invalidated first
};

}  // namespace tessarin
