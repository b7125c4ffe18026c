// Process entry: an agent command word runs the command-line agent; any other
// start (no arguments, or what the desktop passes) is the desktop application.

#include <string>
#include <vector>

#include "app/AgentMain.h"
#include "app/DesktopApplication.h"
#include "core/cli/TessarinCLI.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || !tessarin::TessarinCLI::isCommandWord(args[0])) {
        return tessarin::runDesktopApplication(argc, argv);
    }
    return tessarin::runAgent(argc > 0 ? argv[0] : "", args);
}
