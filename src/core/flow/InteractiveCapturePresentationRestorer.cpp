#include "core/flow/InteractiveCapturePresentationRestorer.h"

#include "core/flow/CaptureCompletionDiagnostics.h"

namespace tessarin {

namespace {
std::string_view text(bool value) { return value ? "true" : "false"; }
}  // namespace

void InteractiveCapturePresentationRestorer::restoreAppFocus(const CaptureSession& session, Completion<bool> done) {
    if (!session.frontmostWindow) {
        logCaptureLine(session.id, "restore_focus", "skipped=true reason=no_window");
        return done(false);
    }
    attempt(session.id, *session.frontmostWindow, 1, std::move(done));
}

void InteractiveCapturePresentationRestorer::attempt(std::string captureID, WindowHandle window, int number,
                                                     Completion<bool> done) {
    const bool activeBefore = windows_.isActive(window);
    windows_.activate(window);
    delay_(retryDelay, lifetime_.guard([this, captureID = std::move(captureID), window, number, activeBefore,
                                        done = std::move(done)]() mutable {
        const bool activeAfter = windows_.isActive(window);
        logCaptureLine(captureID, "restore_focus",
                       "attempt=" + std::to_string(number) + " activeBefore=" + std::string(text(activeBefore)) +
                           " activeAfter=" + std::string(text(activeAfter)));
        if (activeAfter) return done(true);
        if (number >= maxActivationAttempts) {
            logCaptureLine(captureID, "restore_focus",
                           "timed_out attempts=" + std::to_string(number) + " active=" + std::string(text(activeAfter)));
            return done(false);
        }
        attempt(std::move(captureID), window, number + 1, std::move(done));
    }));
}

}  // namespace tessarin
