// capture-full, capture-region, capture-previous-region and capture-window.

#include "core/capture/PreviousCaptureReplay.h"
#include "core/cli/CLIError.h"
#include "core/cli/CaptureCommandSupport.h"
#include "core/cli/Commands.h"
#include "core/common/Log.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin::Commands {
namespace {

using namespace CaptureCommandSupport;

int finish(TessarinCLI& cli, const OutputTarget& output, const CaptureOutcome& outcome) {
    if (!outcome.succeeded) throw CLIError::captureFailed(outcome.reason);
    emitResult(cli, output.asGiven, outcome.width, outcome.height);
    return 0;
}

// Shares the region with the desktop application's "Capture Previous Area".
void rememberLastRegion(TessarinCLI& cli, const Rect& rect, const DisplayDescription& display) {
    AppPreferences preferences(cli.defaults);
    if (preferences.rememberLastCaptureSelection()) {
        if (auto stored = rememberedArea(rect, display)) preferences.setLastCaptureSelection(stored);
    }
    // The process exits right after this command. The capture itself
    // succeeded, but a later capture-previous-region would replay an older
    // region: say so.
    if (!cli.defaults.synchronize()) {
        logLine(LogLevel::error, LogCategory::storage, "could not save the previous capture region");
        cli.warn("could not save the region for capture-previous-region: the preferences file could not be written");
    }
}

}  // namespace

int runCaptureFull(TessarinCLI& cli, const CLIArguments& args) {
    const OutputTarget output = requireOutput(cli, args);
    const auto which = displayChoice(args, CaptureTarget::Automatic{});
    std::optional<uint32_t> displayID;
    if (!std::holds_alternative<CaptureTarget::Automatic>(which)) {
        const DisplayDescription display = requireDisplay(cli, which);
        // A display the platform cannot name cannot be captured by id.
        if (!display.displayID) throw CLIError::badArguments(displayNotFoundMessage(CaptureTarget::Automatic{}, 0));
        displayID = display.displayID;
    }
    return finish(cli, output, writtenDisplayCapture(cli, output, displayID));
}

int runCaptureRegion(TessarinCLI& cli, const CLIArguments& args) {
    const OutputTarget output = requireOutput(cli, args);
    const RegionTarget target = regionTarget(cli, args);
    const auto outcome = writtenCapture(cli, output, regionCaptureOperation(cli, target.rect, target.display));
    if (outcome.succeeded) rememberLastRegion(cli, target.rect, target.display);
    return finish(cli, output, outcome);
}

int runCapturePreviousRegion(TessarinCLI& cli, const CLIArguments& args) {
    const OutputTarget output = requireOutput(cli, args);
    AppPreferences preferences(cli.defaults);
    const auto stored = preferences.lastCaptureSelection();
    if (!stored) {
        throw CLIError::badArguments("no previous region: run capture-region (or capture an area in the app) first");
    }
    auto displays = cli.capture.displays();
    if (!displays) throw CLIError::captureFailed(displays.error().description());
    const auto outcome = PreviousCaptureReplay::outcome(stored, *displays);

    if (const auto* full = std::get_if<PreviousCaptureReplay::FullScreen>(&outcome)) {
        return finish(cli, output, writtenDisplayCapture(cli, output, full->displayID));
    }
    if (const auto* area = std::get_if<PreviousCaptureReplay::Area>(&outcome)) {
        return finish(cli, output,
                      writtenCapture(cli, output,
                                     regionCaptureOperation(cli, area->selection.rect, area->selection.screen)));
    }
    throw CLIError::captureFailed("no display is connected");
}

int runCaptureWindow(TessarinCLI& cli, const CLIArguments& args) {
    const OutputTarget output = requireOutput(cli, args);
    const auto app = args.value("app");
    if (!app) throw CLIError::missingFlag("--app");
    const std::string title = args.value("window").value_or("");
    return finish(cli, output, writtenCapture(cli, output, [&cli, owner = *app, title](Completion<ImageResult> done) {
                      cli.capture.captureWindow(owner, title, std::move(done));
                  }));
}

}  // namespace tessarin::Commands
