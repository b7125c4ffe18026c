#pragma once
// Starts and stops one recording's screen source, microphone and file
// writer in a fixed order, rolls a half-started recording back, and hands
// exactly one terminal outcome to everyone who waits for it.
//
// Start: idle → starting; the screen source, then the microphone; then
// recording. A failure, or a finish requested meanwhile, rolls back: the
// started sources stop, the file is removed, the outcome is the error
// ("Recording was cancelled." for a finish). Finish: recording → finishing;
// the sources stop, then the writer finishes (or is cancelled on discard)
// and the outcome is stored once: finished. Errors of the sources and the
// writer while recording go to the error handler; after finished they are
// ignored.

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/recording/RecordingFileWriter.h"
#include "core/recording/RecordingMedia.h"

namespace tessarin {

// Raw values are reported to observers; append only.
enum class RecordingLifecycleState { idle = 0, starting = 1, recording = 2, finishing = 3, finished = 4 };

struct RecordingResult {
    std::filesystem::path fileURL;
    std::shared_ptr<const Image> posterFrame;
    double duration = 0;
    bool hadMicrophoneTrack = false;
};

// A result, none when discarded, or the error that ended the recording.
using RecordingOutcome = Expected<std::optional<RecordingResult>, RecordingError>;

class RecordingCaptureCoordinator {
public:
    using StateHandler = std::function<void(RecordingLifecycleState)>;
    // A poster frame read back from the written file, for a recording whose
    // first frame could not be kept.
    using PosterFromFile = std::function<std::optional<Image>(const std::filesystem::path&)>;

    // `microphone` may be null (no audio).
    RecordingCaptureCoordinator(std::unique_ptr<ScreenRecordingSource> screen,
                                std::unique_ptr<MicrophoneSource> microphone,
                                std::unique_ptr<RecordingFileWriter> writer);
    ~RecordingCaptureCoordinator();
    RecordingCaptureCoordinator(const RecordingCaptureCoordinator&) = delete;
    RecordingCaptureCoordinator& operator=(const RecordingCaptureCoordinator&) = delete;

    // Set before start(). Handlers run after the coordinator's lock is released.
    void setOnLifecycleStateChanged(StateHandler handler) { onStateChanged_ = std::move(handler); }
    void setErrorHandler(RecordingErrorHandler handler) { errorHandler_ = std::move(handler); }
    void setPosterFromFile(PosterFromFile read) { posterFromFile_ = std::move(read); }

    // Nothing once recording; the start-up error otherwise (also the
    // terminal outcome, except for a second start).
    std::optional<RecordingError> start();
    // Blocks until the outcome is known. Safe from any thread but a
    // source's own (stopping a source waits for its thread).
    RecordingOutcome finish(bool discard);
    RecordingOutcome awaitTerminalOutcome();

    RecordingLifecycleState state() const;
    // True once finish() was called (a finish during start-up waits for it).
    bool finishRequested() const;
    const std::filesystem::path& file() const { return file_; }
    RecordingWriteCounts writeCounts() const { return writer_ ? writer_->counts() : RecordingWriteCounts{}; }

private:
    RecordingError rollBack(RecordingError error);
    void stopSources();
    void complete(RecordingOutcome outcome);
    void onFrame(std::shared_ptr<const VideoFrame> frame);
    void forwardError(const RecordingError& error);
    RecordingOutcome finishRecording(bool discard);

    std::unique_ptr<ScreenRecordingSource> screen_;
    std::unique_ptr<MicrophoneSource> microphone_;
    std::unique_ptr<RecordingFileWriter> writer_;
    std::filesystem::path file_;
    StateHandler onStateChanged_;
    RecordingErrorHandler errorHandler_;
    PosterFromFile posterFromFile_;

    mutable std::mutex stateLock_;
    std::condition_variable outcomeReady_;
    RecordingLifecycleState lifecycleState_ = RecordingLifecycleState::idle;
    bool finishRequested_ = false;
    bool screenStarted_ = false;
    bool microphoneStarted_ = false;
    bool didCapturePosterFrame_ = false;
    std::shared_ptr<const Image> posterFrame_;
    std::optional<RecordingOutcome> terminalOutcome_;
};

}  // namespace tessarin
