#include "core/recordingflow/RecordingFlowController.h"

#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/flow/CaptureFlowController.h"

namespace tessarin {

namespace {
void note(const std::string& line) { logLine(LogLevel::info, LogCategory::capture, "recording_flow." + line); }
}  // namespace

RecordingFlowController::RecordingFlowController(RecordingFlowPorts ports) : ports_(std::move(ports)) {}

RecordingFlowController::~RecordingFlowController() {
    lifetime_.invalidate();
    finishForQuit();
}

std::string RecordingFlowController::microphoneDeniedTitle() { return localized("Microphone Access Denied"); }
std::string RecordingFlowController::microphoneDeniedMessage() {
    return localized("Recording will continue without microphone audio.");
}

CaptureSelectionRequest RecordingFlowController::selectionRequest() const {
    CaptureSelectionRequest request;
    request.minimumDimension = ports_.configuration.minimumSelectionDimension;
    request.hintText = localized("Drag to select an area to record");
    request.actionStyle = CaptureSelectionActionStyle::recording(ports_.configuration.defaultMicrophoneEnabled);
    request.presetsEnabled = false;
    return request;
}

void RecordingFlowController::setState(State state) {
    const bool wasRecording = state_ == State::starting || state_ == State::recording || state_ == State::finishing;
    const bool isRecording = state == State::starting || state == State::recording || state == State::finishing;
    state_ = state;
    if (wasRecording != isRecording && ports_.onRecordingChanged) ports_.onRecordingChanged(isRecording);
}

void RecordingFlowController::toggle() {
    switch (state_) {
        case State::idle: return begin();
        case State::recording: return stop();
        case State::selecting:
        case State::starting:
        case State::finishing: note("toggle ignored state=" + std::to_string(static_cast<int>(state_))); return;
    }
}

void RecordingFlowController::begin() {
    if (ports_.isOtherCaptureBusy && ports_.isOtherCaptureBusy()) return note("skipped another capture is busy");
    // Held while the permission is asked: a second press meanwhile does nothing.
    setState(State::selecting);
    auto ask = ports_.screenPermission ? ports_.screenPermission
                                       : ScreenRecordingPermission([](Completion<bool> done) { done(true); });
    ask(lifetime_.guard([this](bool granted) {
        if (!granted) {
            setState(State::idle);
            if (ports_.warn) ports_.warn(localized(FlowTexts::permissionTitle), localized(FlowTexts::permissionMessage));
            return;
        }
        ports_.selectArea(selectionRequest(),
                          lifetime_.guard([this](std::optional<RecordingRequest> request) { selected(std::move(request)); }));
    }));
}

void RecordingFlowController::selected(std::optional<RecordingRequest> request) {
    if (state_ != State::selecting) return;
    if (!request) {
        setState(State::idle);
        return note("cancelled");
    }
    if (request->microphoneEnabled && !(ports_.microphoneAvailable && ports_.microphoneAvailable())) {
        if (ports_.warn) ports_.warn(microphoneDeniedTitle(), microphoneDeniedMessage());
        request->microphoneEnabled = false;
    }
    setState(State::starting);
    ports_.chrome.showFrame(request->selection);
    auto run = ports_.makeRun(*request);
    std::optional<RecordingError> failure;
    if (!run) {
        failure = run.error();
    } else {
        run_ = std::move(run.value());
        run_->setOnPipelineError([&main = ports_.main, guard = lifetime_.guard([this](const RecordingError& error) {
                                      note("pipeline_error " + error.description());
                                      stop();
                                  })](const RecordingError& error) mutable {
            main.post([guard, error]() mutable { guard(error); });
        });
        failure = run_->start();
    }
    if (failure) {
        ports_.chrome.close();
        run_.reset();
        setState(State::idle);
        if (ports_.presentError) ports_.presentError(failure->description());
        return;
    }
    setState(State::recording);
    ports_.chrome.showPanel(request->selection, request->microphoneEnabled);
    ports_.chrome.setClockText(run_->clockText());
    if (ports_.repeat) {
        stopClock_ = ports_.repeat(kClockInterval, lifetime_.guard([this] {
            if (state_ == State::recording && run_) ports_.chrome.setClockText(run_->clockText());
        }));
    }
}

void RecordingFlowController::stopClock() {
    if (auto stopClock = std::exchange(stopClock_, nullptr)) stopClock();
}

void RecordingFlowController::finish(bool discard) {
    if (state_ != State::recording || !run_) return;
    setState(State::finishing);
    stopClock();
    ports_.chrome.close();
    std::shared_ptr<RecordingRun> run(std::move(run_));
    Executor& main = ports_.main;
    auto done = lifetime_.guard([this, discard](const RecordingSessionOutcome& outcome) { finished(outcome, discard); });
    ports_.background.post([run, &main, done, discard]() mutable {
        auto outcome = std::make_shared<RecordingSessionOutcome>(run->finish(discard));
        main.post([run, outcome, done]() mutable { done(*outcome); });
    });
}

void RecordingFlowController::finished(const RecordingSessionOutcome& outcome, bool discard) {
    setState(State::idle);
    note(std::string("finished discard=") + (discard ? "1" : "0") + " kept=" + (outcome.result ? "1" : "0"));
    // A kept file is offered even when an error ended the recording early.
    if (outcome.result && ports_.route) ports_.route(*outcome.result);
    if (outcome.error && !discard && ports_.presentError) ports_.presentError(outcome.error->description());
}

void RecordingFlowController::finishForQuit() {
    stopClock();
    if (!run_) return;
    ports_.chrome.close();
    const auto outcome = run_->finish(false);
    run_.reset();
    note(std::string("finished at quit kept=") + (outcome.result ? "1" : "0"));
    setState(State::idle);
}

}  // namespace tessarin
