#include "core/flow/CaptureFlowController.h"

#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {

CaptureFlowController::CaptureFlowController(CaptureFlowDependencies dependencies) : d_(std::move(dependencies)) {
    if (!d_.presentError) {
        d_.presentError = [&alerts = d_.alerts](const std::string& message) {
            alerts.showWarning(localized(FlowTexts::errorTitle), message);
        };
    }
}

void CaptureFlowController::start(CaptureMode mode, std::optional<CaptureOutputAction> outputAction) {
    switch (mode) {
        case CaptureMode::area:
            begin(mode, "area", [this](const CaptureSession& session, Done done) {
                captureArea(session, std::move(done));
            });
            return;
        case CaptureMode::fullScreen:
            startFullScreen(std::nullopt, std::move(outputAction));
            return;
        case CaptureMode::window:
            begin(mode, "window", [this, outputAction](const CaptureSession& session, Done done) {
                captureWindow(session, outputAction, std::move(done));
            });
            return;
        case CaptureMode::scrolling:
            startScrolling(std::nullopt);
            return;
    }
}

void CaptureFlowController::startFullScreen(std::optional<uint32_t> displayID,
                                            std::optional<CaptureOutputAction> outputAction) {
    begin(CaptureMode::fullScreen, "fullScreen",
          [this, displayID, outputAction](const CaptureSession& session, Done done) {
              captureFullScreen(session, displayID, outputAction, std::move(done));
          });
}

void CaptureFlowController::captureSelection(const CaptureSelection& selection,
                                             std::optional<CaptureOutputAction> outputAction) {
    begin(CaptureMode::area, "selection", [this, selection, outputAction](const CaptureSession& session, Done done) {
        captureKnownSelection(session, selection, outputAction, std::move(done));
    });
}

void CaptureFlowController::startSelfTimer(const CaptureSelection& selection, std::optional<int> seconds,
                                           std::optional<CaptureOutputAction> outputAction) {
    begin(CaptureMode::area, "selfTimer",
          [this, selection, seconds, outputAction](const CaptureSession& session, Done done) {
              runSelfTimer(session, selection, seconds.value_or(d_.preferences.selfTimerDurationSeconds()),
                           outputAction, std::move(done));
          });
}

void CaptureFlowController::startScrolling(std::optional<CaptureSelection> selection, std::optional<bool> autoScroll) {
    begin(CaptureMode::scrolling, "scrolling",
          [this, selection = std::move(selection), autoScroll](const CaptureSession& session, Done done) {
              runScrolling(session, selection,
                           autoScroll.value_or(d_.preferences.autoScrollDuringScrollingCapture()), std::move(done));
          });
}

void CaptureFlowController::startAllInOne() {
    begin(CaptureMode::area, "allInOne",
          [this](const CaptureSession& session, Done done) { runAllInOne(session, std::move(done)); });
}

void CaptureFlowController::replayLast(std::optional<CaptureOutputAction> outputAction) {
    // Read again: the agent may have captured an area since the start.
    const auto& stored = d_.preferences.reloadLastCaptureSelection();
    const CaptureMode mode = stored && stored->asFullscreen() ? CaptureMode::fullScreen : CaptureMode::area;
    begin(mode, "previous", [this, outputAction](const CaptureSession& session, Done done) {
        replay(session, outputAction, std::move(done));
    });
}

void CaptureFlowController::begin(CaptureMode mode, std::string_view trigger, Body body) {
    const char* busy = inProgress_                                         ? "in_progress"
                       : d_.isExternallyBusy && d_.isExternallyBusy() ? "externally_busy"
                                                                          : nullptr;
    if (busy) {
        logLine(LogLevel::info, LogCategory::capture,
                "capture.ignored trigger=" + std::string(trigger) + " reason=" + busy);
        return;
    }
    // Held while the permission is asked, so a second press during a prompt
    // is ignored too; the state is reported only once the capture starts.
    inProgress_ = true;
    auto ask = d_.screenRecordingPermission ? d_.screenRecordingPermission
                                            : ScreenRecordingPermission([](Completion<bool> done) { done(true); });
    ask(lifetime_.guard([this, mode, body = std::move(body)](bool granted) mutable {
        if (!granted) {
            inProgress_ = false;
            d_.alerts.showWarning(localized(FlowTexts::permissionTitle), localized(FlowTexts::permissionMessage));
            return;
        }
        if (d_.onCaptureStateChanged) d_.onCaptureStateChanged(true);
        const auto window = d_.frontmostWindow ? d_.frontmostWindow() : std::nullopt;
        const CaptureSession session = CaptureSession::begin(mode, d_.now(), window);
        logLine(LogLevel::info, LogCategory::capture,
                "[" + session.id + "] capture.start mode=" + std::string(rawValue(mode)));
        body(session, lifetime_.guard([this](Outcome outcome) { finish(std::move(outcome)); }));
    }));
}

void CaptureFlowController::finish(Outcome outcome) {
    if (!outcome) d_.presentError(outcome.error().description());
    inProgress_ = false;
    if (d_.onCaptureStateChanged) d_.onCaptureStateChanged(false);
    // After the flag is down, so the mode it switches to is not ignored as
    // a second capture.
    if (outcome && outcome->modeSwitch) d_.modeSwitch.switchMode(*outcome->modeSwitch);
}

void CaptureFlowController::deliver(Image image, const CaptureSession& session, const Action& action) {
    auto shared = std::make_shared<const Image>(std::move(image));
    if (action) {
        d_.completion.route(std::move(shared), session, *action);
    } else {
        d_.completion.route(std::move(shared), session);
    }
}

void CaptureFlowController::remember(std::optional<StoredCaptureSelection> selection) {
    if (!selection || !d_.preferences.rememberLastCaptureSelection()) return;
    d_.preferences.setLastCaptureSelection(std::move(selection));
}

}  // namespace tessarin
