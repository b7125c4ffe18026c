#pragma once
// Drives every interactive screenshot of the desktop application from its
// trigger (tray menu, shortcut, link) to its completion. One capture at a
// time: a trigger that arrives while one runs, or while another activity
// (a recording, a scrolling session) owns the screen, is ignored. The
// screen-recording permission is asked before anything is shown; then the
// mode's body obtains the image (the in-app overlay, the window picker, a
// display, a known or remembered selection, the self-timer), remembers the
// area when that setting is on, and hands the image to the completion
// router. An error is shown once; a cancelled pick ends silently.
//
// Main executor only. Every entry point returns at once.

#include <functional>
#include <memory>
#include <optional>

#include "core/capture/ScreenCaptureService.h"
#include "core/common/Lifetime.h"
#include "core/flow/CaptureCompletionRouter.h"
#include "core/flow/CaptureFlowPorts.h"
#include "core/flow/ScreenRecordingPermission.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {

namespace FlowTexts {
inline constexpr const char* permissionTitle = "Screen Recording Access";
inline constexpr const char* permissionMessage = "Tessarin needs screen recording permission to capture your screen.";
inline constexpr const char* noPreviousTitle = "No Previous Capture";
inline constexpr const char* noPreviousMessage = "Capture an area or full screen before using Capture Previous Area.";
inline constexpr const char* displayNotFoundTitle = "Display Not Found";
inline constexpr const char* displayNotFoundMessage = "The display used by the previous capture is no longer connected.";
inline constexpr const char* errorTitle = "Tessarin";
}  // namespace FlowTexts

struct CaptureFlowDependencies {
    Executor& main;
    ScreenCaptureService& screen;
    AppPreferences& preferences;
    CaptureSelectionPresenter& selectionPresenter;
    WindowPicker& windowPicker;
    SelfTimerHUD& selfTimer;
    ScrollingCaptureHandOff& scrolling;
    ModeSwitchHandOff& modeSwitch;
    FlowAlerts& alerts;
    CaptureCompletionRouter& completion;
    ScreenRecordingPermission screenRecordingPermission;
    // True while another capture-like activity owns the screen.
    std::function<bool()> isExternallyBusy;
    // Told true when a capture starts and false when it ends (the tray icon).
    std::function<void(bool)> onCaptureStateChanged;
    // Shows an error's text; by default a warning titled "Tessarin".
    std::function<void(const std::string& message)> presentError;
    // The window with the focus when a capture starts (for the focus restore).
    std::function<std::optional<WindowHandle>()> frontmostWindow;
    std::function<std::chrono::system_clock::time_point()> now = [] { return std::chrono::system_clock::now(); };
    // All-in-One toolbar buttons whose flow this build does not have yet.
    std::vector<CaptureSelectionAction> unavailableAllInOneActions = {};
};

class CaptureFlowController {
public:
    explicit CaptureFlowController(CaptureFlowDependencies dependencies);
    CaptureFlowController(const CaptureFlowController&) = delete;
    CaptureFlowController& operator=(const CaptureFlowController&) = delete;

    // By mode: an area in the overlay, the display under the pointer, a
    // picked window, or a scrolling capture of the content under the pointer.
    void start(CaptureMode mode, std::optional<CaptureOutputAction> outputAction = std::nullopt);
    // The given display, or the one under the pointer.
    void startFullScreen(std::optional<uint32_t> displayID, std::optional<CaptureOutputAction> outputAction = std::nullopt);
    // A known selection (links).
    void captureSelection(const CaptureSelection& selection,
                          std::optional<CaptureOutputAction> outputAction = std::nullopt);
    // A known selection after a countdown (the preference's length when none is given).
    void startSelfTimer(const CaptureSelection& selection, std::optional<int> seconds = std::nullopt,
                        std::optional<CaptureOutputAction> outputAction = std::nullopt);
    // A scrolling capture of the selection, or of the content under the
    // pointer; auto-scroll as the preference says when not given.
    void startScrolling(std::optional<CaptureSelection> selection, std::optional<bool> autoScroll = std::nullopt);
    // The overlay with the whole action toolbar.
    void startAllInOne();
    // The previous area or full screen again.
    void replayLast(std::optional<CaptureOutputAction> outputAction = std::nullopt);

    bool isCapturing() const { return inProgress_; }

    // From here on nothing in flight reaches the user.
    void shutdown() { lifetime_.invalidate(); }

private:
    struct FlowEnd {
        std::optional<AllInOneModeSwitch> modeSwitch;  // run once this capture has ended
    };
    using Outcome = Expected<FlowEnd, CaptureError>;
    using Done = Completion<Outcome>;
    using Body = UniqueFunction<void(const CaptureSession&, Done)>;
    using Action = std::optional<CaptureOutputAction>;

    // The guard, the permission, the state callbacks, then `body`.
    void begin(CaptureMode mode, std::string_view trigger, Body body);
    void finish(Outcome outcome);

    // The mode bodies (CaptureFlowModes.cpp).
    void captureArea(const CaptureSession& session, Done done);
    void captureFullScreen(const CaptureSession& session, std::optional<uint32_t> displayID, Action action, Done done);
    void captureWindow(const CaptureSession& session, Action action, Done done);
    void captureKnownSelection(const CaptureSession& session, const CaptureSelection& selection, Action action,
                               Done done);
    void runSelfTimer(const CaptureSession& session, const CaptureSelection& selection, int seconds, Action action,
                      Done done);
    void runScrolling(const CaptureSession& session, std::optional<CaptureSelection> selection, bool autoScroll,
                      Done done);
    void runAllInOne(const CaptureSession& session, Done done);
    void replay(const CaptureSession& session, Action action, Done done);

    // Shows the overlay (over frozen screens when that setting is on) and
    // acts on what the user chose.
    void selectThenAct(const CaptureSession& session, CaptureSelectionRequest request, Done done);
    void actOnSelection(const CaptureSession& session, const AreaSelectionResult& result,
                        std::shared_ptr<const FrozenScreens> frozen, Done done);
    // The selection's pixels, cut from the frozen screens when there are some.
    void captureSelectedRegion(const CaptureSession& session, const CaptureSelection& selection,
                               std::shared_ptr<const FrozenScreens> frozen, Action action, Done done);
    void deliver(Image image, const CaptureSession& session, const Action& action);
    void remember(std::optional<StoredCaptureSelection> selection);

    CaptureFlowDependencies d_;
    bool inProgress_ = false;
    LifetimeToken lifetime_;
};

}  // namespace tessarin
