// Process entry: no arguments, or a tessarin: link (what the desktop passes),
// start the desktop application; anything else is an agent command line, so
// an unknown word gets the agent's error and status 64, never a window.

#include <string>
#include <vector>

#include "app/AgentMain.h"
#include "app/DesktopApplication.h"
#include "core/cli/TessarinCLI.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!tessarin::TessarinCLI::isAgentInvocation(args)) {
        return tessarin::runDesktopApplication(argc, argv);
    }
    return tessarin::runAgent(argc > 0 ? argv[0] : "", args);
}
