#include "core/scrolling/HeadlessScrollingSession.h"

#include <thread>

#include "core/common/Log.h"

namespace tessarin {

HeadlessScrollingSession::HeadlessScrollingSession(HeadlessScrollingParameters parameters,
                                                   ScrollingEnvironment environment)
    : parameters_(std::move(parameters)), environment_(std::move(environment)) {
    if (!environment_.sleep) {
        environment_.sleep = [](std::chrono::nanoseconds pause) { std::this_thread::sleep_for(pause); };
    }
}

Expected<Image, CaptureError> HeadlessScrollingSession::run() {
    auto source = environment_.makeFrameSource();
    if (!source) return unexpected(source.error());
    ScrollingCaptureRun::Dependencies dependencies;
    dependencies.source = std::move(*source);
    dependencies.configuration = parameters_.configuration;
    dependencies.idleTimeoutSeconds = parameters_.idleTimeoutSeconds;
    dependencies.postScroll = environment_.postScroll;
    dependencies.now = environment_.now;
    dependencies.sleep = environment_.sleep;
    dependencies.stitchWorker = environment_.stitchWorker;
    ScrollingCaptureRun run(std::move(dependencies));
    if (auto error = run.start()) return unexpected(std::move(*error));

    if (parameters_.autoScroll) {
        const Rect region = parameters_.region.standardized();
        environment_.movePointer({region.midX(), region.midY()});
        run.armAutoScroll({});
    }
    // Elapsed time in double seconds: no deadline arithmetic that a huge
    // --max-seconds could overflow; zero or less polls not at all.
    const auto started = environment_.now();
    auto elapsed = [&] { return std::chrono::duration<double>(environment_.now() - started).count(); };
    while (elapsed() < parameters_.maxDurationSeconds && !run.ending()) {
        run.pollOnce();
        if (run.ending()) break;
        environment_.sleep(parameters_.configuration.pollingInterval);
    }
    ending_ = run.ending();
    run.stop();
    tracking_ = run.tracking();
    logLine(LogLevel::info, LogCategory::capture,
            std::string("scrolling.headless ended=") + (ending_ ? describe(*ending_) : "deadline") +
                " appended_rows=" + std::to_string(run.appendedRows()) +
                " placed_frames=" + std::to_string(tracking_.placedFrames) +
                " lost_frames=" + std::to_string(tracking_.lostFrames));
    if (run.streamError() && run.appendedRows() == 0) return unexpected(*run.streamError());
    return run.renderFinalImage();
}

}  // namespace tessarin
