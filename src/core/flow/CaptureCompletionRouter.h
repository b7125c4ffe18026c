#pragma once
// What happens to a finished capture. The normal completion reads the
// completion settings once, schedules the focus restore, persists the image
// and then (each as its own main-thread task) shows the Quick Access
// thumbnail, copies the image and plays the capture cue, writing one
// diagnostics line per step. With the annotation editor setting on, the
// editor opens instead of thumbnail, copy and cue. A capture that asked for
// an output action (copy, save, annotate, pin, recognise text) gets that
// action instead of the thumbnail.
//
// Persisting always yields a ticket: when the history keeps nothing
// (switched off, paused, or the write failed) the ticket resolves to no
// item, and the thumbnail, copy and cue still happen.

#include <functional>
#include <memory>

#include "core/capture/CapturedImageActions.h"
#include "core/common/Lifetime.h"
#include "core/flow/CaptureCompletionDiagnostics.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {

// The features a completion reaches.
struct CaptureCompletionPorts {
    QuickAccessPresenter& quickAccess;
    PinPresenter& pins;
    AnnotationEditorOpener& editor;
    CaptureSoundPlayer& sound;
    ClipboardWriter& clipboard;
    ImageSaver& saver;
    TextExtraction& text;
};

class CaptureCompletionRouter {
public:
    // Starts persisting the capture; may return null (treated as a ticket
    // with no item).
    using StoreCapture = std::function<std::shared_ptr<CapturePersistenceTicket>(SharedImage, const CaptureSession&)>;
    // Writes an edited image over the capture's history item, if it has one.
    using StoreEdited = std::function<void(const std::shared_ptr<CapturePersistenceTicket>&, SharedImage edited)>;
    using RestoreFocus = std::function<void(const CaptureSession&, Completion<bool>)>;

    struct Dependencies {
        Executor& main;
        std::function<AppPreferencesSnapshot()> snapshot;
        StoreCapture onCaptureStored;
        StoreEdited onEditedStored;
        RestoreFocus restoreFocus;
        CaptureCompletionPorts ports;
        // Shows a failure of an output action (a save that could not be written).
        std::function<void(const std::string& message)> presentError;
        FlowClock clock = [] { return std::chrono::steady_clock::now(); };
    };

    explicit CaptureCompletionRouter(Dependencies dependencies) : d_(std::move(dependencies)) {}
    CaptureCompletionRouter(const CaptureCompletionRouter&) = delete;
    CaptureCompletionRouter& operator=(const CaptureCompletionRouter&) = delete;

    // The normal completion. Returns once the image is handed to
    // persistence; the rest runs as main-thread tasks.
    void route(SharedImage image, const CaptureSession& session);
    // The completion of a capture that asked for `action`.
    void route(SharedImage image, const CaptureSession& session, const CaptureOutputAction& action);

    // Tasks already scheduled are dropped from here on.
    void shutdown() { lifetime_.invalidate(); }

private:
    AppPreferencesSnapshot settle(const CaptureSession& session);
    void scheduleFocusRestore(const CaptureSession& session);
    std::shared_ptr<CapturePersistenceTicket> persist(const SharedImage& image, const CaptureSession& session);
    void openEditor(SharedImage image, const CaptureSession& session, std::shared_ptr<CapturePersistenceTicket> ticket,
                    const AppPreferencesSnapshot& snapshot);
    void scheduleThumbnail(SharedImage image, const CaptureSession& session,
                           std::shared_ptr<CapturePersistenceTicket> ticket, const AppPreferencesSnapshot& snapshot);
    void scheduleCopy(SharedImage image);
    void scheduleSound(const CaptureSession& session, bool play);
    void post(Task task);

    Dependencies d_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
