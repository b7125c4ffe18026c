#include "core/cli/CLIError.h"
#include "core/cli/Commands.h"
#include "core/cli/JsonWriter.h"

namespace tessarin::Commands {

int runListTargets(TessarinCLI& cli, const CLIArguments&) {
    using Result = Expected<AgentTargetList, CaptureError>;
    Result targets = cli.runAsyncOnMain<Result>(
        [&cli](Completion<Result> done) { cli.capture.agentTargets(std::move(done)); });
    if (!targets) throw CLIError::captureFailed(targets.error().description());

    nlohmann::json displays = nlohmann::json::array();
    for (const auto& d : targets->displays) {
        displays.push_back({{"index", d.index}, {"displayID", d.displayID}, {"width", d.width}, {"height", d.height}});
    }
    nlohmann::json windows = nlohmann::json::array();
    for (const auto& w : targets->windows) {
        windows.push_back({{"windowID", w.windowID},
                           {"app", w.app},
                           {"title", w.title},
                           {"x", w.x},
                           {"y", w.y},
                           {"width", w.width},
                           {"height", w.height}});
    }
    const auto text = JsonWriter::pretty({{"displays", displays}, {"windows", windows}});
    if (!text) throw CLIError::captureFailed("the target list could not be encoded");
    cli.out << *text << '\n';
    if (auto reason = cli.capture.noWindowListReason()) cli.warn("the window list is empty: " + *reason);
    return 0;
}

}  // namespace tessarin::Commands
