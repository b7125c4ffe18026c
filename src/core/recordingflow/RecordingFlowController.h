#pragma once
// "Record Video" from the press to the finished movie: the area is asked
// for with the recording style (a microphone switch and a start button),
// the microphone is checked, the frame goes round the area, the recording
// starts, the control panel shows the clock, and Stop or Discard ends it;
// a kept movie is routed (sound, thumbnail), an error is shown.
//
// One object decides; the views (overlay, chrome, panel), the clock timer
// and the recording itself are ports, so every path is tested with fakes.
//
// States: idle → selecting → starting → recording → finishing → idle.
// A second "Record Video" (menu, shortcut, link, tray) while recording
// stops it, so the recording never depends on our panel staying open.
// Finishing waits for the writer, so it runs on the background executor
// and the result comes back to the main one. Quitting finishes a running
// recording on the spot and keeps the file (finishForQuit).

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/capture/CaptureSelection.h"
#include "core/capture/CaptureSelectionRequest.h"
#include "core/common/Executor.h"
#include "core/common/Lifetime.h"
#include "core/flow/ScreenRecordingPermission.h"
#include "core/recording/RecordingSession.h"

namespace tessarin {

// The area and the microphone switch as the user left them.
struct RecordingRequest {
    CaptureSelection selection;
    bool microphoneEnabled = false;
};

// One recording as the flow drives it (a RecordingSession in the application).
class RecordingRun {
public:
    virtual ~RecordingRun() = default;
    // Called once, from a pipeline thread, when an error ends the recording.
    virtual void setOnPipelineError(std::function<void(const RecordingError&)> handler) = 0;
    virtual std::optional<RecordingError> start() = 0;
    // Blocks until the file is finished (or removed, on discard).
    virtual RecordingSessionOutcome finish(bool discard) = 0;
    virtual std::string clockText() const = 0;
};

// The frame ring and the control panel.
class RecordingChromeView {
public:
    virtual ~RecordingChromeView() = default;
    virtual void showFrame(const CaptureSelection& selection) = 0;
    virtual void showPanel(const CaptureSelection& selection, bool microphoneEnabled) = 0;
    virtual void setClockText(const std::string& text) = 0;
    // Takes frame and panel off the screen; safe when neither is shown.
    virtual void close() = 0;
};

struct RecordingFlowPorts {
    Executor& main;
    Executor& background;
    RecordingConfiguration configuration;
    // A screen capture or scrolling session owns the screen.
    std::function<bool()> isOtherCaptureBusy;
    ScreenRecordingPermission screenPermission;
    // The overlay with the given request; nothing when cancelled.
    std::function<void(const CaptureSelectionRequest&, Completion<std::optional<RecordingRequest>>)> selectArea;
    // On Linux there is no per-application grant: false means no capture
    // source could be opened.
    std::function<bool()> microphoneAvailable;
    std::function<void(const std::string& title, const std::string& message)> warn;
    std::function<void(const std::string& message)> presentError;
    std::function<Expected<std::unique_ptr<RecordingRun>, RecordingError>(const RecordingRequest&)> makeRun;
    RecordingChromeView& chrome;
    // Calls `tick` every `interval` on the main executor until the returned
    // function is called.
    std::function<std::function<void()>(std::chrono::milliseconds interval, std::function<void()> tick)> repeat;
    // A kept recording: the sound and the thumbnail.
    std::function<void(const RecordingResult&)> route;
    // True from the moment the recording starts until it is finished (AppState.isRecording).
    std::function<void(bool)> onRecordingChanged;
};

class RecordingFlowController {
public:
    // Raw values appear in the log; append only.
    enum class State { idle = 0, selecting = 1, starting = 2, recording = 3, finishing = 4 };

    static constexpr std::chrono::milliseconds kClockInterval{250};

    explicit RecordingFlowController(RecordingFlowPorts ports);
    ~RecordingFlowController();

    // "Record Video": starts the flow when idle, stops a running recording,
    // and is ignored while the area is chosen or the recording starts or ends.
    void toggle();
    void stop() { finish(false); }
    void discard() { finish(true); }
    // Quitting: a running recording is finished here and now, keeping the
    // file (nothing is routed); an open overlay was cancelled by its owner.
    void finishForQuit();

    State state() const { return state_; }
    // The overlay's request: the minimum size, the recording style.
    CaptureSelectionRequest selectionRequest() const;

    static std::string microphoneDeniedTitle();
    static std::string microphoneDeniedMessage();

private:
    void begin();
    void selected(std::optional<RecordingRequest> request);
    void finish(bool discard);
    void finished(const RecordingSessionOutcome& outcome, bool discard);
    void stopClock();
    void setState(State state);

    RecordingFlowPorts ports_;
    State state_ = State::idle;
    std::unique_ptr<RecordingRun> run_;
    std::function<void()> stopClock_;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
