#include "core/scrolling/ScrollingCaptureSession.h"

#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

constexpr int64_t kLostTrackingStreak = 5;

}  // namespace

ScrollingCaptureSession::ScrollingCaptureSession(bool autoScroll, ScrollingCaptureConfiguration configuration,
                                                 Hooks hooks)
    : autoScroll_(autoScroll), configuration_(configuration), hooks_(std::move(hooks)) {}

std::optional<CaptureError> ScrollingCaptureSession::start() {
    if (state_ != LifecycleState::idle) return CaptureError::captureFailed(ScrollingSessionMessages::runOnce);
    state_ = LifecycleState::presenting;
    auto source = hooks_.environment.makeFrameSource();
    if (!source) {
        state_ = LifecycleState::finished;
        return source.error();
    }
    ScrollingCaptureRun::Dependencies dependencies;
    dependencies.source = std::move(*source);
    dependencies.configuration = configuration_;
    dependencies.previewRequest = hooks_.previewRequest;
    dependencies.isAutoScrollPermitted = [this] { return hooks_.isTrustedForAccessibility(false); };
    dependencies.onFrame = [this](const ScrollingCaptureRun::FrameOutcome& outcome) { handle(outcome); };
    dependencies.postScroll = hooks_.environment.postScroll;
    dependencies.now = hooks_.environment.now;
    dependencies.sleep = hooks_.environment.sleep;
    dependencies.stitchWorker = hooks_.environment.stitchWorker;
    run_ = std::make_unique<ScrollingCaptureRun>(std::move(dependencies));
    if (auto error = run_->start()) {
        state_ = LifecycleState::finished;
        return error;
    }
    state_ = LifecycleState::capturing;
    if (autoScroll_) arm();
    return std::nullopt;
}

void ScrollingCaptureSession::pollOnce() {
    if (state_ == LifecycleState::capturing) run_->pollOnce();
}

void ScrollingCaptureSession::showHint(const char* text) {
    if (text == nullptr) {
        hint_.reset();
    } else {
        hint_ = localized(text);
    }
}

void ScrollingCaptureSession::handle(const ScrollingCaptureRun::FrameOutcome& outcome) {
    if (outcome.failed) {
        // A failed stream also stopped auto-scrolling.
        autoScrollButtonOn_ = run_->isAutoScrolling();
        showHint(ScrollingHints::streamFailed);
        logLine(LogLevel::error, LogCategory::capture, "scrolling.frame result=failed error=" + outcome.failed->description());
        return;
    }
    const auto& result = *outcome.processed;
    switch (result.disposition.kind) {
        case ScrollingCaptureFrameDisposition::Kind::appended:
            movingIgnoredStreak_ = 0;
            if (isShowingLostTrackingHint_) {
                isShowingLostTrackingHint_ = false;
                showHint(nullptr);
            }
            if (result.previewSnapshot) hooks_.onPreview(*result.previewSnapshot);
            logLine(LogLevel::debug, LogCategory::capture,
                    "scrolling.frame result=appended appended_rows=" + std::to_string(result.disposition.rows));
            break;
        case ScrollingCaptureFrameDisposition::Kind::ignored:
            if (result.visiblyMoved() && !run_->isAutoScrolling()) {
                ++movingIgnoredStreak_;
                if (movingIgnoredStreak_ >= kLostTrackingStreak && !isShowingLostTrackingHint_) {
                    isShowingLostTrackingHint_ = true;
                    showHint(ScrollingHints::lostTracking);
                    logLine(LogLevel::info, LogCategory::capture,
                            "scrolling.frame result=lost_tracking streak=" + std::to_string(movingIgnoredStreak_));
                }
            }
            break;
        case ScrollingCaptureFrameDisposition::Kind::reachedRowLimit:
            if (!isShowingRowLimitHint_) {
                isShowingRowLimitHint_ = true;
                autoScrollButtonOn_ = false;
                showHint(ScrollingHints::rowLimit);
            }
            break;
    }
}

void ScrollingCaptureSession::arm() {
    if (!hooks_.isTrustedForAccessibility(false)) {
        hooks_.isTrustedForAccessibility(true);  // the system's prompt
        showHint(ScrollingHints::needsAccessibility);
        return;
    }
    ScrollingCaptureRun::AutoScrollPlan plan;
    plan.isCursorInRegion = hooks_.isCursorInSelection;
    plan.onWaitingForCursor = [this] { showHint(ScrollingHints::moveCursor); };
    plan.onScrolling = [this] { showHint(nullptr); };
    plan.onEnded = [this](ScrollingCaptureRun::Ending ending) { onAutoScrollEnded(ending); };
    autoScrollButtonOn_ = run_->armAutoScroll(std::move(plan));
}

void ScrollingCaptureSession::toggleAutoScroll() {
    if (state_ != LifecycleState::capturing) return;
    if (run_->isAutoScrolling()) {
        run_->disarmAutoScroll();
        autoScrollButtonOn_ = false;
        showHint(nullptr);
        return;
    }
    arm();
}

void ScrollingCaptureSession::onAutoScrollEnded(ScrollingCaptureRun::Ending ending) {
    autoScrollButtonOn_ = false;
    logLine(LogLevel::info, LogCategory::capture, std::string("scrolling.autoscroll disarmed=true reason=") + describe(ending));
    // Scrolling through content it could not follow, the auto-scroller only
    // sees no growth and would report the end or an unscrollable window;
    // the user must hear instead that the capture lost track.
    const bool followsContent = ending != ScrollingCaptureRun::Ending::reachedRowLimit &&
                                ending != ScrollingCaptureRun::Ending::streamFailed;
    if (followsContent && run_->tracking().lostTrack()) {
        isShowingLostTrackingHint_ = true;
        showHint(ScrollingHints::lostTracking);
        logLine(LogLevel::info, LogCategory::capture,
                "scrolling.frame result=lost_tracking lost_frames=" + std::to_string(run_->tracking().lostFrames));
        return;
    }
    switch (ending) {
        case ScrollingCaptureRun::Ending::reachedEnd: showHint(ScrollingHints::reachedEnd); break;
        case ScrollingCaptureRun::Ending::cannotScroll: showHint(ScrollingHints::cannotScroll); break;
        case ScrollingCaptureRun::Ending::reachedRowLimit: showHint(ScrollingHints::rowLimit); break;
        case ScrollingCaptureRun::Ending::streamFailed: showHint(ScrollingHints::streamFailed); break;
        case ScrollingCaptureRun::Ending::idle: break;
    }
}

std::optional<Expected<Image, CaptureError>> ScrollingCaptureSession::finish(bool accepted) {
    if (state_ != LifecycleState::capturing) return std::nullopt;
    state_ = LifecycleState::finishing;
    run_->stop();
    std::optional<Expected<Image, CaptureError>> result;
    if (accepted) result = run_->renderFinalImage();
    state_ = LifecycleState::finished;
    return result;
}

}  // namespace tessarin
