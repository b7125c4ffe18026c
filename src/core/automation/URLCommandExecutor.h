#pragma once
// Carries out a parsed link command through injected operations: the
// capture flow, recording, the editor, pins, history, Quick Access and the
// rest of the application are reached only through `Operations`, so the
// executor is exercised with fakes. It keeps no record of commands.
//
// Whatever a link asks, it never writes a path it names, deletes anything,
// runs a program, changes a preference or returns data to its caller:
// files are only read, and only absolute paths to regular image files.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "core/automation/TessarinURLCommand.h"
#include "core/capture/BackgroundImageEncoder.h"
#include "core/capture/CaptureHistoryItem.h"
#include "core/capture/CaptureMode.h"
#include "core/capture/CaptureTarget.h"
#include "core/common/Expected.h"

namespace tessarin {

// Which display a command means: an id, the one under the pointer, or none
// that is connected.
struct DisplayNotConnected {};
using DisplayResolution = std::variant<uint32_t, CaptureTarget::Automatic, DisplayNotConnected>;

// The self-timer's bounds, in seconds.
inline constexpr int64_t kLinkSelfTimerMinimumSeconds = 1;
inline constexpr int64_t kLinkSelfTimerMaximumSeconds = 60;

class URLCommandExecutor {
public:
    using Action = std::optional<CaptureOutputAction>;
    using ImageLoaded = std::function<void(Expected<SharedImage, std::string>)>;

    struct Operations {
        std::function<void()> startAllInOneCapture;
        std::function<void(CaptureMode, Action)> startCapture;
        std::function<void(const CaptureSelection&, Action)> captureSelection;
        std::function<void(Action)> replayLastCapture;
        std::function<void(std::optional<uint32_t> displayID, Action)> startFullScreenCapture;
        std::function<void(const CaptureSelection&, std::optional<int64_t> seconds, Action)> startSelfTimerCapture;
        std::function<void(std::optional<CaptureSelection>, std::optional<bool> autoscroll)> startScrollingCapture;
        std::function<void()> startRecording;
        std::function<void(SharedImage)> presentAnnotationEditor;
        std::function<void(SharedImage)> pinImage;
        std::function<void()> restoreRecentlyClosedPin;
        std::function<void()> openHistory;
        std::function<void(std::optional<std::string> tab)> openSettings;
        std::function<void(DesktopIconAction)> applyDesktopIcons;
        std::function<void(SharedImage, bool collapsingLinebreaks)> extractText;
        // Stores the image in history; the item, or none when that failed.
        std::function<void(SharedImage, std::function<void(std::optional<CaptureHistoryItem>)>)> addQuickAccessItem;
        std::function<void(const CaptureHistoryItem&, SharedImage)> showQuickAccessOverlay;
        // Reads and decodes an image file away from the main thread; the
        // answer comes back on it. The error is a sentence for a warning.
        std::function<void(const std::string& absolutePath, ImageLoaded)> loadImage;
        // Lets the user pick an image file; called only when one was picked.
        std::function<void(std::function<void(SharedImage)>)> chooseImageFile;
        std::function<std::optional<SharedImage>()> imageFromClipboard;
        std::function<CaptureTarget::SelectionResolution(const CaptureTarget::PixelRect&, const CaptureTarget::Display&)>
            resolveSelection;
        std::function<DisplayResolution(const CaptureTarget::Display&)> resolveDisplayID;
        std::function<void(const std::string& title, const std::string& message)> warn;
    };

    explicit URLCommandExecutor(Operations operations) : ops_(std::move(operations)) {}

    // The phrase that completes "A link asked Tessarin to …", or none when
    // the command never asks first.
    static std::optional<std::string> confirmableURLAction(const TessarinURLCommand& command);
    static std::string outputActionDescription(const Action& action);

    void execute(const TessarinURLCommand& command);

private:
    struct Omitted {};
    struct Rejected {};
    using RegionOutcome = std::variant<CaptureSelection, Omitted, Rejected>;

    RegionOutcome resolveRegion(const std::optional<TessarinURLRegion>& region);
    void warnDisplayNotFound();
    // Loads `filepath` after checking it may be read; a failure is warned
    // with `failureTitle`. Without a path the user picks a file.
    void withImageFrom(const std::optional<std::string>& filepath, const std::string& failureTitle,
                       std::function<void(SharedImage)> use);
    void captureText(const TessarinURLCommand& command);
    void addQuickAccessOverlay(const std::optional<std::string>& filepath);

    Operations ops_;
};

// Why a link's file path is not read, or none when it may be: only absolute
// paths without a NUL byte.
std::optional<std::string> linkPathProblem(const std::string& path);
// `text` with control characters shown as \n, \t or \xHH, for a warning.
std::string escapedForDisplay(const std::string& text);

}  // namespace tessarin
