#include "core/history/CaptureHistoryWindowController.h"

#include "core/common/Log.h"
#include "core/preferences/HistoryPreferences.h"

namespace tessarin {
namespace {

HistoryActionTargets targetsOf(const HistoryWindowPorts& ports) {
    HistoryActionTargets targets;
    targets.editor = ports.editor != nullptr;
    targets.pin = ports.pins != nullptr;
    targets.unpin = ports.pins != nullptr && ports.pins->canUnpin();
    return targets;
}

void logAction(std::string_view what, const std::string& id, std::string_view outcome) {
    logLine(LogLevel::info, LogCategory::app,
            "history.action " + std::string(what) + " item=" + id + " result=" + std::string(outcome));
}

}  // namespace

CaptureHistoryWindowController::CaptureHistoryWindowController(HistoryWindowPorts ports)
    : ports_(std::move(ports)), reveal_(ports_.fileManager, ports_.alerts), model_(targetsOf(ports_)) {
    model_.setItems(ports_.store.items());
    model_.setPaused(ports_.preferences.historyPaused());
    storeSubscription_ = ports_.store.addObserver(*this);
    preferencesSubscription_ = ports_.preferences.subscribe([this](std::string_view key) {
        if (key != "historyPaused" || model_.isPaused() == ports_.preferences.historyPaused()) return;
        model_.setPaused(ports_.preferences.historyPaused());
        notify(HistoryListChanges{});
    });
}

void CaptureHistoryWindowController::refresh() {
    const HistoryListChanges changes = model_.setItems(ports_.store.items());
    if (changes.cellsChanged) notify(changes);
}

void CaptureHistoryWindowController::captureHistoryItemsRemoved(const std::vector<std::string>&) { refresh(); }

void CaptureHistoryWindowController::notify(const HistoryListChanges& changes) {
    if (listener_) listener_(changes);
}

void CaptureHistoryWindowController::togglePaused() {
    ports_.preferences.setHistoryPaused(!ports_.preferences.historyPaused());
    if (model_.isPaused() != ports_.preferences.historyPaused()) {
        model_.setPaused(ports_.preferences.historyPaused());
        notify(HistoryListChanges{});
    }
}

void CaptureHistoryWindowController::answerClear(bool confirmed) {
    if (!confirmed) {
        model_.cancelClear();
        return;
    }
    if (!model_.confirmClear()) return;
    logLine(LogLevel::info, LogCategory::app,
            "history.clear items=" + std::to_string(ports_.store.items().size()));
    ports_.store.clearAll();
    refresh();
}

void CaptureHistoryWindowController::perform(const std::string& id, HistoryAction action) {
    if (!model_.offers(id, action)) return;
    switch (action) {
        case HistoryAction::open:
        case HistoryAction::annotate:
            return withImage(id, [this](const CaptureHistoryItem& item, SharedImage image) {
                openInEditor(item, std::move(image));
            });
        case HistoryAction::copy:
            return withImage(id, [this](const CaptureHistoryItem& item, SharedImage image) {
                ++pending_;
                ports_.clipboard.copy(std::move(image), lifetime_.guard([this, id = item.id](bool copied) {
                    logAction("copy", id, copied ? "copied" : "failed");
                    finishAction();
                }));
            });
        case HistoryAction::save:
            return withImage(id, [this](const CaptureHistoryItem& item, SharedImage image) {
                ++pending_;
                const ImageFormat format = imageFormat(ports_.preferences.defaultImageFormat());
                ports_.saver.save(std::move(image), format, lifetime_.guard([this, id = item.id](PathResult saved) {
                    if (saved) {
                        logAction("save", id, "saved path=" + saved->string());
                    } else {
                        logAction("save", id, "failed");
                        ports_.alerts.showWarning("Tessarin", saved.error().description());
                    }
                    finishAction();
                }));
            });
        case HistoryAction::pin:
            return withImage(id, [this](const CaptureHistoryItem& item, SharedImage image) {
                if (!ports_.pins) return;
                logAction("pin", item.id, "pinned");
                ports_.pins->pin(item, std::move(image));
            });
        case HistoryAction::unpin:
            if (ports_.pins) ports_.pins->unpin(id);
            logAction("unpin", id, "unpinned");
            return;
        case HistoryAction::reveal: {
            const CaptureHistoryItem* item = ports_.store.item(id);
            ++pending_;
            return reveal_.reveal(item ? ports_.store.fileURL(*item) : std::nullopt,
                                  lifetime_.guard([this, id](RevealOutcome outcome) {
                                      static constexpr const char* names[] = {"shown", "opened_folder",
                                                                              "file_missing", "failed"};
                                      logAction("reveal", id, names[static_cast<int>(outcome)]);
                                      finishAction();
                                  }));
        }
        case HistoryAction::remove:
            logAction("delete", id, "deleted");
            ports_.store.deleteItem(id);
            return refresh();
    }
}

void CaptureHistoryWindowController::withImage(const std::string& id,
                                               std::function<void(const CaptureHistoryItem&, SharedImage)> use) {
    ++pending_;
    ports_.store.loadImageAsync(id, lifetime_.guard([this, id, use = std::move(use)](DecodeResult decoded) {
        const CaptureHistoryItem* item = ports_.store.item(id);
        if (!decoded || !item) {
            logAction("load", id, decoded ? "item_gone" : "failed reason=" + decoded.error().message);
            ports_.alerts.showWarning(std::string(HistoryWindowText::imageOpenFailed),
                                      std::string(HistoryWindowText::imageOpenFailedMessage));
            return finishAction();
        }
        const CaptureHistoryItem copy = *item;
        use(copy, std::make_shared<const Image>(std::move(*decoded)));
        finishAction();
    }));
}

void CaptureHistoryWindowController::openInEditor(const CaptureHistoryItem& item, SharedImage image) {
    if (!ports_.editor) return;
    if (ports_.activateApplication) ports_.activateApplication();
    CaptureSessionInfo session{item.captureID.value_or(""), item.sourceMode.value_or(CaptureMode::area)};
    ports_.editor->open(std::move(image), session,
                        lifetime_.guard([this, id = item.id, session](SharedImage edited) {
                            const AppPreferences& preferences = ports_.preferences;
                            const int maxCount = preferences.historyMaxCount();
                            const int maxAgeDays = preferences.historyMaxAgeDays();
                            const bool mayRecord = preferences.historyEnabled() && !preferences.historyPaused();
                            CaptureHistoryStore& store = ports_.store;
                            store.replaceImage(
                                id, edited, maxCount, maxAgeDays,
                                [&store, id, edited, session, maxCount, maxAgeDays,
                                 mayRecord](CaptureHistoryStore::Result replaced) {
                                    if (replaced || store.item(id) || !mayRecord) return;
                                    // The item was deleted while it was being edited: the
                                    // edit is kept as a capture of its own.
                                    store.record(edited, session, maxCount, maxAgeDays, [](CaptureHistoryStore::Result) {});
                                });
                            model_.imageReplaced(id);
                        }));
    logAction("annotate", item.id, "opened");
}

}  // namespace tessarin
