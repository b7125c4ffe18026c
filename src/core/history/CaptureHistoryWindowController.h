#pragma once
// The capture history window's behaviour over the store: keeps the model
// in step with the store and the preferences (items added or removed by a
// capture, by retention or by another process appear or disappear at
// once), and carries out what the window asks. The Qt window only draws
// the model and forwards clicks here.
//
// Main executor. Asynchronous steps (loading an image, copying, saving)
// come back only while the controller lives.

#include <functional>
#include <memory>
#include <string>

#include "core/capture/CaptureHistoryStore.h"
#include "core/common/Lifetime.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/history/CaptureHistoryWindowModel.h"
#include "core/history/FileManagerReveal.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {

// Pins a history item's image as a floating window linked to the item,
// and (where pins can be closed from here) closes an item's pin.
class HistoryPinning {
public:
    virtual ~HistoryPinning() = default;
    virtual void pin(const CaptureHistoryItem& item, SharedImage image) = 0;
    virtual bool canUnpin() const { return false; }
    virtual void unpin(const std::string&) {}
};

// Pinning through the capture flow's pin presenter: the pin learns its
// history item from a ticket that is already resolved to it.
class PresenterHistoryPinning final : public HistoryPinning {
public:
    PresenterHistoryPinning(PinPresenter& presenter, Executor& main) : presenter_(presenter), main_(main) {}
    void pin(const CaptureHistoryItem& item, SharedImage image) override {
        presenter_.pin(std::move(image), CapturePersistenceTicket::resolved(main_, item));
    }

private:
    PinPresenter& presenter_;
    Executor& main_;
};

struct HistoryWindowPorts {
    CaptureHistoryStore& store;
    AppPreferences& preferences;
    ClipboardWriter& clipboard;
    ImageSaver& saver;
    FlowAlerts& alerts;
    FileManagerPort& fileManager;
    HistoryPinning* pins = nullptr;             // nothing: no "Pin"
    AnnotationEditorOpener* editor = nullptr;   // nothing: no "Open" or "Annotate"
    std::function<void()> activateApplication;  // before the editor opens
};

class CaptureHistoryWindowController final : private CaptureHistoryObserver {
public:
    using Listener = std::function<void(const HistoryListChanges&)>;

    explicit CaptureHistoryWindowController(HistoryWindowPorts ports);
    ~CaptureHistoryWindowController() override = default;
    CaptureHistoryWindowController(const CaptureHistoryWindowController&) = delete;
    CaptureHistoryWindowController& operator=(const CaptureHistoryWindowController&) = delete;

    const CaptureHistoryWindowModel& model() const { return model_; }
    // Told after every change of the cells or the toolbar.
    void setListener(Listener listener) { listener_ = std::move(listener); }

    // An action of the item's cell; nothing when the cell does not offer it
    // (any more).
    void perform(const std::string& id, HistoryAction action);
    // "Pause History" / "Resume History".
    void togglePaused();
    // "Clear History": true when the question is to be shown now.
    bool requestClear() { return model_.requestClear(); }
    // The answer to the question; a confirmation removes every item.
    void answerClear(bool confirmed);

    // Actions whose asynchronous part has not ended yet.
    int pendingActions() const { return pending_; }

private:
    void captureHistoryItemsRemoved(const std::vector<std::string>& removedItemIDs) override;
    void captureHistoryItemsChanged() override { refresh(); }
    void refresh();
    void notify(const HistoryListChanges& changes);
    // Loads the item's image (full resolution, else its thumbnail) and
    // hands it to `use`; "Image Open Failed" when it cannot be loaded.
    void withImage(const std::string& id, std::function<void(const CaptureHistoryItem&, SharedImage)> use);
    void openInEditor(const CaptureHistoryItem& item, SharedImage image);
    void finishAction() { --pending_; }

    HistoryWindowPorts ports_;
    FileManagerReveal reveal_;
    CaptureHistoryWindowModel model_;
    Listener listener_;
    int pending_ = 0;
    Subscription storeSubscription_;
    PreferenceSubscription preferencesSubscription_;
    LifetimeToken lifetime_;  // last: invalidated first
};

}  // namespace tessarin
