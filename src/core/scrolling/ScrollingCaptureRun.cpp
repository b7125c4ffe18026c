#include "core/scrolling/ScrollingCaptureRun.h"

#include <thread>

#include "core/common/Log.h"

namespace tessarin {
namespace {

constexpr int kFirstFrameAttempts = 150;
constexpr auto kFirstFramePause = std::chrono::milliseconds(16);

}  // namespace

const char* describe(ScrollingCaptureRun::Ending ending) {
    switch (ending) {
        case ScrollingCaptureRun::Ending::reachedEnd: return "reachedEnd";
        case ScrollingCaptureRun::Ending::cannotScroll: return "cannotScroll";
        case ScrollingCaptureRun::Ending::idle: return "idle";
        case ScrollingCaptureRun::Ending::reachedRowLimit: return "reachedRowLimit";
        case ScrollingCaptureRun::Ending::streamFailed: return "streamFailed";
    }
    return "unknown";
}

ScrollingCaptureRun::ScrollingCaptureRun(Dependencies dependencies) : deps_(std::move(dependencies)) {
    if (!deps_.sleep) deps_.sleep = [](std::chrono::nanoseconds pause) { std::this_thread::sleep_for(pause); };
}

ScrollingCaptureRun::~ScrollingCaptureRun() {
    autoScroller_.reset();
    if (deps_.source) deps_.source->stop();
}

std::optional<CaptureError> ScrollingCaptureRun::start() {
    if (auto error = deps_.source->start()) return error;
    LatestRegionFrame first;
    for (int attempt = 0; attempt < kFirstFrameAttempts; ++attempt) {
        first = deps_.source->latest();
        if (first.frame) break;
        // A stream that died says why; waiting on would only time out.
        if (auto error = deps_.source->stopError()) {
            deps_.source->stop();
            return error;
        }
        deps_.sleep(kFirstFramePause);
    }
    if (!first.frame) {
        deps_.source->stop();
        return CaptureError::captureFailed(ScrollingRunMessages::firstFrameTimedOut);
    }
    auto raster = ScrollingFrameRaster::fromFrame(first.frame);
    if (!raster) return raster.error();
    const int64_t minimumRows = deps_.configuration.minimumAppendedRows;
    auto composer = ScrollingCaptureComposer::make(*raster, minimumRows);
    if (!composer) return composer.error();
    auto stitcher =
        std::make_unique<ScrollingCaptureStitcher>(std::move(*composer), *raster, deps_.stitchWorker);
    pump_ = std::make_unique<ScrollingCapturePump>(std::move(stitcher), first.frameID, minimumRows);
    lastGrowthAt_ = deps_.now();
    return std::nullopt;
}

void ScrollingCaptureRun::setEnding(Ending ending) {
    if (!ending_) ending_ = ending;
}

void ScrollingCaptureRun::pollOnce() {
    if (isStopped_ || !pump_) return;
    if (auto error = deps_.source->stopError()) {
        // The stream is gone: end the capture with what was stitched.
        setEnding(Ending::streamFailed);
        streamError_ = error;
        disarmAutoScroll();
        isStopped_ = true;
        logLine(LogLevel::error, LogCategory::capture, "scrolling.stream result=failed error=" + error->description());
        deps_.onFrame(FrameOutcome{std::nullopt, error});
        return;
    }
    if (auto result = pump_->advance(deps_.source->latest(), deps_.previewRequest)) {
        handle(std::move(*result));
    } else {
        checkIdle();
    }
    if (autoScroller_) {
        const auto outcome = autoScroller_->advance(deps_.now());
        if (outcome != ScrollingAutoScroller::Outcome::running) {
            const Ending ending =
                outcome == ScrollingAutoScroller::Outcome::reachedEnd ? Ending::reachedEnd : Ending::cannotScroll;
            setEnding(ending);
            disarmAutoScroll();
            plan_.onEnded(ending);
        }
    }
}

void ScrollingCaptureRun::handle(FrameProcessingResult result) {
    if (!result) {
        // One bad frame does not end the capture; the next one is tried.
        deps_.onFrame(FrameOutcome{std::nullopt, result.error()});
        checkIdle();
        return;
    }
    tracking_.count(result->disposition.kind == ScrollingCaptureFrameDisposition::Kind::appended,
                    result->disposition.rows, result->visiblyMoved());
    switch (result->disposition.kind) {
        case ScrollingCaptureFrameDisposition::Kind::appended: lastGrowthAt_ = deps_.now(); break;
        case ScrollingCaptureFrameDisposition::Kind::reachedRowLimit:
            setEnding(Ending::reachedRowLimit);
            disarmAutoScroll();
            break;
        case ScrollingCaptureFrameDisposition::Kind::ignored: checkIdle(); break;
    }
    deps_.onFrame(FrameOutcome{std::move(*result), std::nullopt});
}

void ScrollingCaptureRun::checkIdle() {
    if (ending_ || !deps_.idleTimeoutSeconds) return;
    // Seconds as doubles: any timeout, however large, compares without overflow.
    const std::chrono::duration<double> quiet = deps_.now() - lastGrowthAt_;
    if (quiet.count() >= *deps_.idleTimeoutSeconds) {
        setEnding(Ending::idle);
        disarmAutoScroll();
    }
}

bool ScrollingCaptureRun::armAutoScroll(AutoScrollPlan plan) {
    if (isStopped_ || !pump_ || ending_ == Ending::streamFailed || !deps_.isAutoScrollPermitted()) return false;
    ending_.reset();
    lastGrowthAt_ = deps_.now();
    plan_ = std::move(plan);
    autoScroller_ = std::make_unique<ScrollingAutoScroller>(deps_.autoScrollSettings, deps_.postScroll);
    ScrollingAutoScroller::Probes probes;
    probes.isCursorInRegion = [this] { return plan_.isCursorInRegion(); };
    probes.progress = [this] { return pump_->appendedRows(); };
    probes.currentFrameID = [this] { return deps_.source->latest().frameID; };
    probes.onScrolling = [this] { plan_.onScrolling(); };
    probes.onWaitingForCursor = [this] { plan_.onWaitingForCursor(); };
    autoScroller_->start(std::move(probes), deps_.now());
    return true;
}

void ScrollingCaptureRun::disarmAutoScroll() { autoScroller_.reset(); }

void ScrollingCaptureRun::stop() {
    disarmAutoScroll();
    isStopped_ = true;
    deps_.source->stop();
}

Expected<Image, CaptureError> ScrollingCaptureRun::renderFinalImage() {
    if (!pump_) return unexpected(CaptureError::captureFailed(ScrollingMessages::renderFailed));
    return pump_->takeFinalImage();
}

}  // namespace tessarin
