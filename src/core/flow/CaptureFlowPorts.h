#pragma once
// What the capture flow asks of the rest of the application. Each is a
// small interface the desktop module (or another feature) implements, so
// the flow runs against substitutes in tests. All are called on the main
// executor, and each completion is called there exactly once.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CapturePersistenceTicket.h"
#include "core/capture/CaptureSelection.h"
#include "core/capture/CaptureSelectionRequest.h"
#include "core/capture/FrozenScreens.h"
#include "core/common/Executor.h"
#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "core/flow/CaptureSession.h"
#include "platform/CaptureSoundPlayer.h"

namespace tessarin {

// An image the user picked, or nothing when the pick was cancelled.
using PickedImage = Expected<std::optional<Image>, CaptureError>;

// Warnings with a title and a message (a dialog in the desktop application).
class FlowAlerts {
public:
    virtual ~FlowAlerts() = default;
    virtual void showWarning(const std::string& title, const std::string& message) = 0;
};

// The in-app area-selection overlay over every display, optionally over a
// frozen image of each. Completes with the chosen selection and toolbar
// action, or nothing when the overlay was dismissed.
struct AreaSelectionResult {
    CaptureSelection selection;
    CaptureSelectionAction action = CaptureSelectionAction::capture;
    bool microphoneEnabled = false;  // the recording style's switch
};
class CaptureSelectionPresenter {
public:
    virtual ~CaptureSelectionPresenter() = default;
    virtual void selectArea(const std::string& captureID, const CaptureSelectionRequest& request,
                            std::shared_ptr<const FrozenScreens> freezing,
                            Completion<std::optional<AreaSelectionResult>> done) = 0;
};

// The user points at a window; completes with its image, or nothing when
// the pick was cancelled.
class WindowPicker {
public:
    virtual ~WindowPicker() = default;
    virtual void pick(const std::string& captureID, Completion<PickedImage> done) = 0;
};

// The countdown shown over a selection. Completes with true when it reached
// zero (the HUD is closed by then), false when the user cancelled it.
class SelfTimerHUD {
public:
    virtual ~SelfTimerHUD() = default;
    virtual void run(int seconds, const CaptureSelection& selection, Completion<bool> done) = 0;
};

// The scrolling capture service: runs an interactive scrolling capture of
// the selection (or of the content under the pointer) and completes with
// the stitched image, or nothing when the user cancelled it.
struct ScrollingCaptureRequest {
    CaptureSession session;
    std::optional<CaptureSelection> selection;
    bool autoScroll = true;
};
class ScrollingCaptureHandOff {
public:
    virtual ~ScrollingCaptureHandOff() = default;
    virtual void run(ScrollingCaptureRequest request, Completion<PickedImage> done) = 0;
};

// A selection of the All-in-One overlay handed to another mode: a full
// screen capture of the overlay's display, a window capture, or a screen
// recording of the selection.
struct AllInOneModeSwitch {
    enum class Kind { fullScreen, window, record };
    Kind kind = Kind::fullScreen;
    CaptureSelection selection;
};
class ModeSwitchHandOff {
public:
    virtual ~ModeSwitchHandOff() = default;
    virtual void switchMode(const AllInOneModeSwitch& modeSwitch) = 0;
};

// The Quick Access thumbnail of a capture; the ticket tells it the history
// item once written (or that there is none).
class QuickAccessPresenter {
public:
    virtual ~QuickAccessPresenter() = default;
    virtual void present(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem,
                         ImageFormat dragExportFormat, const CaptureSessionInfo& session) = 0;
};

// Pins an image to the screen, linked to its history item when it has one.
class PinPresenter {
public:
    virtual ~PinPresenter() = default;
    virtual void pin(SharedImage image, std::shared_ptr<CapturePersistenceTicket> historyItem) = 0;
};

// Opens the annotation editor on an image; `finished` gets the edited image
// when the user is done (never when the edit is abandoned).
class AnnotationEditorOpener {
public:
    using Finished = std::function<void(SharedImage edited)>;
    virtual ~AnnotationEditorOpener() = default;
    virtual void open(SharedImage image, const CaptureSessionInfo& session, Finished finished) = 0;
};

// The capture cue: platform/CaptureSoundPlayer.h.

class ClipboardWriter {
public:
    virtual ~ClipboardWriter() = default;
    virtual void copy(SharedImage image, Completion<bool> done) = 0;
};

// Saves to the default folder (the Desktop) under a fresh name.
class ImageSaver {
public:
    virtual ~ImageSaver() = default;
    virtual void save(SharedImage image, ImageFormat format, Completion<PathResult> done) = 0;
};

// Recognises the text of an image and shows it (or the failure).
class TextExtraction {
public:
    virtual ~TextExtraction() = default;
    virtual void extract(SharedImage image, bool joinLines) = 0;
};

// Runs a task on the main executor after a delay, without blocking it.
using DelayOnMain = std::function<void(std::chrono::milliseconds, Task)>;

// A monotonic clock, injected so tests can pin durations.
using FlowClock = std::function<std::chrono::steady_clock::time_point()>;

}  // namespace tessarin
