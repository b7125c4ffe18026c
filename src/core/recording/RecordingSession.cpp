#include "core/recording/RecordingSession.h"

namespace tessarin {

RecordingSession::RecordingSession(RecordingConfiguration configuration, bool microphoneEnabled, Ports ports)
    : configuration_(std::move(configuration)), microphoneEnabled_(microphoneEnabled), ports_(std::move(ports)) {}

void RecordingSession::setOnLifecycleStateChanged(std::function<void(RecordingLifecycleState)> handler) {
    onStateChanged_ = std::move(handler);
}

void RecordingSession::setOnPipelineError(std::function<void(const RecordingError&)> handler) {
    onPipelineError_ = std::move(handler);
}

RecordingLifecycleState RecordingSession::state() const {
    std::lock_guard guard(lock_);
    return lifecycleState_;
}

void RecordingSession::setState(RecordingLifecycleState state) {
    {
        std::lock_guard guard(lock_);
        lifecycleState_ = state;
        if (state == RecordingLifecycleState::recording) recordingStartedAt_ = ports_.now();
    }
    if (onStateChanged_) onStateChanged_(state);
}

std::optional<RecordingError> RecordingSession::start() {
    if (std::exchange(ran_, true)) return recording_failure::sessionRunTwice();
    setState(RecordingLifecycleState::starting);
    const std::filesystem::path folder =
        configuration_.recordingDirectoryProvider ? configuration_.recordingDirectoryProvider() : std::filesystem::path();
    if (folder.empty()) {
        setState(RecordingLifecycleState::finished);
        return RecordingError::destinationUnavailable();
    }
    const auto now = ports_.wallClock();
    outputURL_ = folder / (configuration_.fileNameProvider ? configuration_.fileNameProvider(now)
                                                           : generateRecordingFilename(now));
    auto coordinator = ports_.makeCoordinator(outputURL_, microphoneEnabled_);
    if (!coordinator) {
        setState(RecordingLifecycleState::finished);
        return coordinator.error();
    }
    coordinator_ = std::move(coordinator.value());
    coordinator_->setErrorHandler([this](const RecordingError& error) {
        std::function<void(const RecordingError&)> handler;
        {
            std::lock_guard guard(lock_);
            if (pipelineError_) return;
            pipelineError_ = error;
            handler = onPipelineError_;
        }
        if (handler) handler(error);
    });
    if (auto error = coordinator_->start()) {
        setState(RecordingLifecycleState::finished);
        return error;
    }
    setState(RecordingLifecycleState::recording);
    return std::nullopt;
}

RecordingSessionOutcome RecordingSession::finish(bool discard) {
    if (!coordinator_) return {std::nullopt, recording_failure::cancelled()};
    {
        std::lock_guard guard(lock_);
        if (lifecycleState_ == RecordingLifecycleState::recording) lifecycleState_ = RecordingLifecycleState::finishing;
    }
    if (onStateChanged_ && state() == RecordingLifecycleState::finishing) onStateChanged_(RecordingLifecycleState::finishing);
    RecordingOutcome outcome = coordinator_->finish(discard);
    if (state() != RecordingLifecycleState::finished) setState(RecordingLifecycleState::finished);
    RecordingSessionOutcome ended;
    {
        std::lock_guard guard(lock_);
        ended.error = pipelineError_;
    }
    if (!outcome) {
        // The pipeline's error is the cause of a failed finish; keep it.
        if (!ended.error) ended.error = outcome.error();
        return ended;
    }
    ended.result = *outcome;
    return ended;
}

std::string RecordingSession::clockText() const {
    std::lock_guard guard(lock_);
    if (!recordingStartedAt_) return recordingClockText(0);
    return recordingClockText(std::chrono::duration<double>(ports_.now() - *recordingStartedAt_).count());
}

}  // namespace tessarin
