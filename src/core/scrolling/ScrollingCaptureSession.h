#pragma once
// The interactive scrolling capture without its views: the lifecycle, the
// Auto Scroll toggle and the hint the control panel shows. The desktop
// application's chrome calls pollOnce() every polling interval, shows
// hint() and previews, and ends the session with finish().

#include <functional>
#include <optional>
#include <string>

#include "core/scrolling/HeadlessScrollingSession.h"

namespace tessarin {

namespace ScrollingHints {
inline constexpr const char* lostTracking = "Lost track — scroll back a little to reconnect.";
inline constexpr const char* rowLimit = "Reached the length limit — click Done to save what was stitched.";
inline constexpr const char* streamFailed = "Capture stopped unexpectedly — click Done to save what was stitched.";
inline constexpr const char* needsAccessibility = "Enable Accessibility for Tessarin, then try Auto Scroll again.";
inline constexpr const char* moveCursor = "Move the cursor into the capture area to scroll.";
inline constexpr const char* reachedEnd = "Reached the end — click Done to save.";
inline constexpr const char* cannotScroll = "This window can't be auto-scrolled. Scroll manually.";
}  // namespace ScrollingHints

namespace ScrollingSessionMessages {
inline constexpr const char* runOnce = "Scrolling capture session can only be run once";
}

class ScrollingCaptureSession {
public:
    enum class LifecycleState { idle, presenting, capturing, finishing, finished };

    struct Hooks {
        ScrollingEnvironment environment;
        // Whether synthetic scrolling is allowed; `prompt` asks the user.
        std::function<bool(bool prompt)> isTrustedForAccessibility = [](bool) { return true; };
        std::function<bool()> isCursorInSelection = [] { return true; };
        std::function<void(const ScrollingCapturePreviewSnapshot&)> onPreview = [](const auto&) {};
        std::optional<ScrollingCapturePreviewRequest> previewRequest;
    };

    ScrollingCaptureSession(bool autoScroll, ScrollingCaptureConfiguration configuration, Hooks hooks);

    // Starts the stream and shows the chrome; only once.
    std::optional<CaptureError> start();
    void pollOnce();
    // The Auto Scroll button.
    void toggleAutoScroll();
    // Done (accepted) or Cancel: the stitched image, or none when cancelled.
    std::optional<Expected<Image, CaptureError>> finish(bool accepted);

    LifecycleState lifecycleState() const { return state_; }
    const std::optional<std::string>& hint() const { return hint_; }
    bool isAutoScrollButtonOn() const { return autoScrollButtonOn_; }

private:
    void handle(const ScrollingCaptureRun::FrameOutcome& outcome);
    void arm();
    void onAutoScrollEnded(ScrollingCaptureRun::Ending ending);
    void showHint(const char* text);

    bool autoScroll_;
    ScrollingCaptureConfiguration configuration_;
    Hooks hooks_;
    std::unique_ptr<ScrollingCaptureRun> run_;
    LifecycleState state_ = LifecycleState::idle;
    std::optional<std::string> hint_;
    bool autoScrollButtonOn_ = false;
    int64_t movingIgnoredStreak_ = 0;
    bool isShowingLostTrackingHint_ = false;
    bool isShowingRowLimitHint_ = false;
};

}  // namespace tessarin
