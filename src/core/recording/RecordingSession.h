#pragma once
// One recording as the user sees it: the output file named in the
// recording folder, the pipeline started and finished, the running clock.
// A pipeline error while recording (microphone gone, display removed, disk
// full) does not throw the recording away: the owner is told (once, on the
// pipeline's thread) and finishes it; the file keeps what was recorded and
// the outcome carries both the result and the error.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/recording/RecordingConfiguration.h"
#include "core/recording/RecordingCoordinator.h"

namespace tessarin {

struct RecordingSessionOutcome {
    std::optional<RecordingResult> result;  // none when discarded or failed
    std::optional<RecordingError> error;    // what went wrong, even if a file was kept
};

class RecordingSession {
public:
    using Clock = std::chrono::steady_clock;
    struct Ports {
        // The coordinator for `file`, or the error that prevents one.
        std::function<Expected<std::unique_ptr<RecordingCaptureCoordinator>, RecordingError>(
            const std::filesystem::path& file, bool microphone)>
            makeCoordinator;
        std::function<Clock::time_point()> now = [] { return Clock::now(); };
        std::function<std::chrono::system_clock::time_point()> wallClock = [] {
            return std::chrono::system_clock::now();
        };
    };

    RecordingSession(RecordingConfiguration configuration, bool microphoneEnabled, Ports ports);

    void setOnLifecycleStateChanged(std::function<void(RecordingLifecycleState)> handler);
    // Called once, on a pipeline thread, when an error ends the recording;
    // the owner then calls finish(false) from its own thread.
    void setOnPipelineError(std::function<void(const RecordingError&)> handler);

    // Names the file and starts the pipeline. Only once ("Recording session
    // can only be run once."). On failure the session is finished.
    std::optional<RecordingError> start();
    // Stop (keep the file) or Discard (remove it).
    RecordingSessionOutcome finish(bool discard);

    RecordingLifecycleState state() const;
    const std::filesystem::path& outputURL() const { return outputURL_; }
    bool microphoneEnabled() const { return microphoneEnabled_; }
    // The control panel's clock, "00:00" before recording starts.
    std::string clockText() const;

private:
    void setState(RecordingLifecycleState state);

    RecordingConfiguration configuration_;
    bool microphoneEnabled_;
    Ports ports_;
    std::function<void(RecordingLifecycleState)> onStateChanged_;
    std::function<void(const RecordingError&)> onPipelineError_;
    std::unique_ptr<RecordingCaptureCoordinator> coordinator_;
    std::filesystem::path outputURL_;
    bool ran_ = false;

    mutable std::mutex lock_;
    RecordingLifecycleState lifecycleState_ = RecordingLifecycleState::idle;
    std::optional<Clock::time_point> recordingStartedAt_;
    std::optional<RecordingError> pipelineError_;
};

}  // namespace tessarin
