#include "core/flow/CaptureCompletionRouter.h"

#include "core/preferences/HistoryPreferences.h"

namespace tessarin {

namespace {

const char* text(bool value) { return value ? "true" : "false"; }
std::string skipped() { return "duration_ms=0 skipped=true"; }

}  // namespace

void CaptureCompletionRouter::route(SharedImage image, const CaptureSession& session) {
    const AppPreferencesSnapshot snapshot = settle(session);
    auto ticket = persist(image, session);
    if (snapshot.openAnnotationEditorAfterCapture) {
        // The editor takes over: its own route merges the edited image into
        // the same history item and may show the thumbnail itself.
        openEditor(std::move(image), session, std::move(ticket), snapshot);
        return;
    }
    scheduleThumbnail(image, session, std::move(ticket), snapshot);
    if (snapshot.autoCopyToClipboard) scheduleCopy(image);
    scheduleSound(session, snapshot.playSound);
}

void CaptureCompletionRouter::route(SharedImage image, const CaptureSession& session,
                                    const CaptureOutputAction& action) {
    const AppPreferencesSnapshot snapshot = settle(session);
    logCaptureLine(session.id, CompletionStep::thumbnailSchedule, skipped() + " external_action=true");
    switch (action.kind) {
        case CaptureOutputAction::Kind::copy:
            scheduleCopy(image);
            break;
        case CaptureOutputAction::Kind::save:
            d_.ports.saver.save(image, imageFormat(snapshot.defaultImageFormat),
                                lifetime_.guard([this](PathResult saved) {
                                    if (!saved && d_.presentError) d_.presentError(saved.error().description());
                                }));
            break;
        case CaptureOutputAction::Kind::annotate:
            // Persisted first, so the edited result has a history item to replace.
            openEditor(image, session, persist(image, session), snapshot);
            break;
        case CaptureOutputAction::Kind::pin:
            d_.ports.pins.pin(image, persist(image, session));
            break;
        case CaptureOutputAction::Kind::ocr:
            d_.ports.text.extract(image, action.joinLines);
            break;
    }
    scheduleSound(session, action.kind == CaptureOutputAction::Kind::copy && snapshot.playSound);
}

AppPreferencesSnapshot CaptureCompletionRouter::settle(const CaptureSession& session) {
    const auto start = d_.clock();
    const AppPreferencesSnapshot snapshot = d_.snapshot();
    const auto duration = elapsedMilliseconds(start, d_.clock());
    logCaptureLine(session.id, CompletionStep::routePolicy,
                   "duration_ms=" + std::to_string(duration) + " " + describeCompletionPolicy(snapshot));
    scheduleFocusRestore(session);
    return snapshot;
}

void CaptureCompletionRouter::scheduleFocusRestore(const CaptureSession& session) {
    post([this, session] {
        // A full-screen capture shows no picker, so nothing took the focus.
        if (session.mode == CaptureMode::fullScreen || !d_.restoreFocus) {
            logCaptureLine(session.id, CompletionStep::restoreFocus, skipped());
            return;
        }
        const auto start = d_.clock();
        d_.restoreFocus(session, lifetime_.guard([this, id = session.id, start](bool restored) {
            logCaptureLine(id, CompletionStep::restoreFocus,
                           "duration_ms=" + std::to_string(elapsedMilliseconds(start, d_.clock())) +
                               " restored=" + text(restored));
        }));
    });
}

std::shared_ptr<CapturePersistenceTicket> CaptureCompletionRouter::persist(const SharedImage& image,
                                                                           const CaptureSession& session) {
    std::shared_ptr<CapturePersistenceTicket> ticket;
    if (d_.onCaptureStored) ticket = d_.onCaptureStored(image, session);
    if (!ticket) ticket = CapturePersistenceTicket::resolved(d_.main, std::nullopt);
    return ticket;
}

void CaptureCompletionRouter::openEditor(SharedImage image, const CaptureSession& session,
                                         std::shared_ptr<CapturePersistenceTicket> ticket,
                                         const AppPreferencesSnapshot& snapshot) {
    const CaptureSessionInfo info = session.info();
    auto& ports = d_.ports;
    auto open = [&editor = ports.editor, info](SharedImage picture, CapturedImageActions::AnnotationRoute::EditorFinished finished) {
        editor.open(std::move(picture), info, std::move(finished));
    };
    auto store = [storeEdited = d_.onEditedStored, ticket](SharedImage edited) {
        if (storeEdited) storeEdited(ticket, std::move(edited));
    };
    std::function<void(SharedImage)> present;
    if (snapshot.showThumbnail) {
        present = [&quickAccess = ports.quickAccess, ticket, info,
                   format = imageFormat(snapshot.defaultImageFormat)](SharedImage edited) {
            quickAccess.present(std::move(edited), ticket, format, info);
        };
    }
    CapturedImageActions::AnnotationRoute::mergingIntoCaptureHistory(info, std::move(open), std::move(store),
                                                                      std::move(present))
        .annotate(std::move(image));
}

void CaptureCompletionRouter::scheduleThumbnail(SharedImage image, const CaptureSession& session,
                                                std::shared_ptr<CapturePersistenceTicket> ticket,
                                                const AppPreferencesSnapshot& snapshot) {
    post([this, image = std::move(image), info = session.info(), ticket = std::move(ticket), snapshot]() mutable {
        if (!snapshot.showThumbnail) {
            logCaptureLine(info.captureID, CompletionStep::thumbnailSchedule, skipped());
            return;
        }
        const auto start = d_.clock();
        d_.ports.quickAccess.present(std::move(image), std::move(ticket), imageFormat(snapshot.defaultImageFormat),
                                     info);
        logCaptureLine(info.captureID, CompletionStep::thumbnailSchedule,
                       "duration_ms=" + std::to_string(elapsedMilliseconds(start, d_.clock())) + " shown=true");
    });
}

void CaptureCompletionRouter::scheduleCopy(SharedImage image) {
    post([this, image = std::move(image)]() mutable { d_.ports.clipboard.copy(std::move(image), [](bool) {}); });
}

void CaptureCompletionRouter::scheduleSound(const CaptureSession& session, bool play) {
    post([this, id = session.id, play] {
        if (!play) {
            logCaptureLine(id, CompletionStep::playSound, skipped());
            return;
        }
        const auto start = d_.clock();
        const bool played = d_.ports.sound.play();
        logCaptureLine(id, CompletionStep::playSound,
                       "duration_ms=" + std::to_string(elapsedMilliseconds(start, d_.clock())) +
                           " played=" + text(played));
    });
}

void CaptureCompletionRouter::post(Task task) { d_.main.post(lifetime_.guard(std::move(task))); }

}  // namespace tessarin
