#pragma once
// Everything the manual page and the shell completions say about the
// program, gathered from the tables the program itself runs on: the agent's
// command table, its exit statuses and environment, and the link commands.

#include <string>
#include <vector>

#include "core/cli/AgentReference.h"
#include "core/cli/TessarinCLI.h"

namespace tessarin {

struct ReferenceFacts {
    std::string version;
    std::vector<TessarinCLI::Subcommand> commands;
    std::vector<std::string> shapeSpecLines;
    std::vector<ExitStatusRow> exitStatuses;
    std::vector<EnvironmentRow> environment;
    std::vector<std::string> linkCommands;
    std::string moduleFolder;  // relative to the installation prefix
};

// The facts of this build.
ReferenceFacts currentReferenceFacts();

}  // namespace tessarin
