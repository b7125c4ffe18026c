// capture-scrolling: streams a region, scrolls it (unless told not to) and
// writes the stitched tall image. When the content moved but could not be
// followed, the result still stands (the image holds what was stitched) and
// a warning line on standard error says so.

#include "core/cli/CLIError.h"
#include "core/cli/CaptureCommandSupport.h"
#include "core/cli/Commands.h"
#include "core/cli/JsonWriter.h"
#include "core/scrolling/HeadlessScrollingSession.h"

namespace tessarin::Commands {
namespace {

using namespace CaptureCommandSupport;

constexpr const char* kAccessibilityMessage =
    "auto-scroll needs Accessibility permission for Tessarin (the X server's XTEST extension), or pass "
    "--no-auto-scroll";

}  // namespace

int runCaptureScrolling(TessarinCLI& cli, const CLIArguments& args) {
    const OutputTarget output = requireOutput(cli, args);
    const RegionTarget target = regionTarget(cli, args);
    HeadlessScrollingParameters parameters;
    parameters.region = target.rect;
    parameters.autoScroll = !args.flag("no-auto-scroll");
    // Whole seconds only: a fraction such as 1.5 reads as absent. Zero and
    // negative values pass through (they end the capture at once).
    parameters.maxDurationSeconds = double(args.integer("max-seconds").value_or(30));
    parameters.idleTimeoutSeconds = double(args.integer("idle-seconds").value_or(3));

    ScrollingTrackingSummary tracking;
    const auto outcome = writtenCapture(cli, output, [&](Completion<ImageResult> done) {
        if (parameters.autoScroll) {
            const AccessStatus input = cli.capture.syntheticInputAccess();
            if (!input.granted) {
                done(unexpected(CaptureError::captureFailed(input.refusal.value_or(kAccessibilityMessage))));
                return;
            }
        }
        ScrollingEnvironment environment;
        environment.makeFrameSource = [&cli, &parameters, &target] {
            return cli.capture.openRegionStream(target.rect, target.display,
                                                parameters.configuration.framesPerSecond);
        };
        environment.movePointer = [&cli](Point global) { (void)cli.capture.movePointer(global); };
        environment.postScroll = [&cli](int32_t lines) { (void)cli.capture.postScroll(lines); };
        HeadlessScrollingSession session(parameters, std::move(environment));
        auto image = session.run();
        tracking = session.tracking();
        done(std::move(image));
    });
    if (!outcome.succeeded) throw CLIError::captureFailed(outcome.reason);
    emitResult(cli, output.asGiven, outcome.width, outcome.height);
    if (const auto warning = lostTrackingWarning(tracking)) {
        if (const auto line = JsonWriter::compact({{"warning", *warning}})) {
            cli.err << *line << '\n';
            cli.err.flush();
        }
    }
    return 0;
}

}  // namespace tessarin::Commands
