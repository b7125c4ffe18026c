#include "core/recording/RecordingCoordinator.h"

#include "core/common/Log.h"

namespace tessarin {

RecordingCaptureCoordinator::RecordingCaptureCoordinator(std::unique_ptr<ScreenRecordingSource> screen,
                                                         std::unique_ptr<MicrophoneSource> microphone,
                                                         std::unique_ptr<RecordingFileWriter> writer)
    : screen_(std::move(screen)), microphone_(std::move(microphone)), writer_(std::move(writer)) {
    if (writer_) file_ = writer_->file();
}

// An abandoned recording leaves no source running; the writer's own
// destructor removes a file that was never finished.
RecordingCaptureCoordinator::~RecordingCaptureCoordinator() { stopSources(); }

RecordingLifecycleState RecordingCaptureCoordinator::state() const {
    std::lock_guard guard(stateLock_);
    return lifecycleState_;
}

bool RecordingCaptureCoordinator::finishRequested() const {
    std::lock_guard guard(stateLock_);
    return finishRequested_;
}

std::optional<RecordingError> RecordingCaptureCoordinator::start() {
    {
        std::lock_guard guard(stateLock_);
        if (lifecycleState_ != RecordingLifecycleState::idle) return recording_failure::startedTwice();
        lifecycleState_ = RecordingLifecycleState::starting;
    }
    if (onStateChanged_) onStateChanged_(RecordingLifecycleState::starting);
    if (!screen_ || !writer_) return rollBack(recording_failure::writerReleased());

    writer_->setErrorHandler([this](const RecordingError& error) { forwardError(error); });
    screen_->setHandlers([this](std::shared_ptr<const VideoFrame> frame) { onFrame(std::move(frame)); },
                         [this](const RecordingError& error) { forwardError(error); });
    if (microphone_) {
        microphone_->setHandlers([this](AudioChunk chunk) { writer_->appendAudio(std::move(chunk)); },
                                 [this](const RecordingError& error) { forwardError(error); });
    }

    if (auto error = screen_->start()) return rollBack(*error);
    {
        std::lock_guard guard(stateLock_);
        screenStarted_ = true;
    }
    if (finishRequested()) return rollBack(recording_failure::cancelled());
    if (microphone_) {
        if (auto error = microphone_->start()) return rollBack(*error);
        {
            std::lock_guard guard(stateLock_);
            microphoneStarted_ = true;
        }
        if (finishRequested()) return rollBack(recording_failure::cancelled());
    }
    bool finishRequested = false;
    {
        std::lock_guard guard(stateLock_);
        finishRequested = finishRequested_;
        if (!finishRequested) lifecycleState_ = RecordingLifecycleState::recording;
    }
    if (finishRequested) return rollBack(recording_failure::cancelled());
    if (onStateChanged_) onStateChanged_(RecordingLifecycleState::recording);
    return std::nullopt;
}

RecordingError RecordingCaptureCoordinator::rollBack(RecordingError error) {
    logLine(LogLevel::error, LogCategory::capture, "recording.start rolled_back error=" + error.description());
    stopSources();
    if (writer_) writer_->cancel();
    complete(unexpected(error));
    return error;
}

void RecordingCaptureCoordinator::stopSources() {
    bool screen = false;
    bool microphone = false;
    {
        std::lock_guard guard(stateLock_);
        screen = std::exchange(screenStarted_, false);
        microphone = std::exchange(microphoneStarted_, false);
    }
    if (screen) screen_->stop();
    if (microphone) microphone_->stop();
}

void RecordingCaptureCoordinator::onFrame(std::shared_ptr<const VideoFrame> frame) {
    bool first = false;
    {
        std::lock_guard guard(stateLock_);
        first = !std::exchange(didCapturePosterFrame_, true);
    }
    if (first) {
        if (auto image = imageFromVideoFrame(*frame)) {
            auto poster = std::make_shared<const Image>(std::move(*image));
            std::lock_guard guard(stateLock_);
            posterFrame_ = std::move(poster);
        }
    }
    writer_->appendVideo(std::move(frame));
}

void RecordingCaptureCoordinator::forwardError(const RecordingError& error) {
    {
        std::lock_guard guard(stateLock_);
        if (lifecycleState_ == RecordingLifecycleState::finished) return;
    }
    if (errorHandler_) errorHandler_(error);
}

void RecordingCaptureCoordinator::complete(RecordingOutcome outcome) {
    {
        std::lock_guard guard(stateLock_);
        if (terminalOutcome_) return;
        terminalOutcome_ = std::move(outcome);
        lifecycleState_ = RecordingLifecycleState::finished;
    }
    outcomeReady_.notify_all();
    if (onStateChanged_) onStateChanged_(RecordingLifecycleState::finished);
}

RecordingOutcome RecordingCaptureCoordinator::awaitTerminalOutcome() {
    std::unique_lock guard(stateLock_);
    outcomeReady_.wait(guard, [this] { return terminalOutcome_.has_value(); });
    return *terminalOutcome_;
}

RecordingOutcome RecordingCaptureCoordinator::finish(bool discard) {
    RecordingLifecycleState was;
    {
        std::lock_guard guard(stateLock_);
        was = lifecycleState_;
        finishRequested_ = true;
        if (was == RecordingLifecycleState::recording) lifecycleState_ = RecordingLifecycleState::finishing;
    }
    switch (was) {
        case RecordingLifecycleState::idle:
            // Nothing ever started: there is no file to keep.
            if (writer_) writer_->cancel();
            complete(unexpected(recording_failure::cancelled()));
            return awaitTerminalOutcome();
        case RecordingLifecycleState::recording:
            if (onStateChanged_) onStateChanged_(RecordingLifecycleState::finishing);
            complete(finishRecording(discard));
            return awaitTerminalOutcome();
        default:
            // Starting: start() rolls back once its current step returns.
            // Finishing or finished: the first finish decides.
            return awaitTerminalOutcome();
    }
}

RecordingOutcome RecordingCaptureCoordinator::finishRecording(bool discard) {
    stopSources();
    if (discard) {
        writer_->cancel();
        return std::optional<RecordingResult>();
    }
    auto summary = writer_->finish();
    if (!summary) return unexpected(summary.error());
    std::shared_ptr<const Image> poster;
    {
        std::lock_guard guard(stateLock_);
        poster = posterFrame_;
    }
    if (!poster && posterFromFile_) {
        if (auto image = posterFromFile_(file_)) poster = std::make_shared<const Image>(std::move(*image));
    }
    if (!poster) return unexpected(recording_failure::posterFrameFailed());
    return std::optional<RecordingResult>(RecordingResult{file_, poster, summary->duration, summary->hadAudioTrack});
}

}  // namespace tessarin
