#pragma once
// What a reader of the agent's manual page and a shell completing its
// command lines need beyond the command table: the flags each command's
// usage lines name, the exit statuses and the environment the program
// reads. The manual page and the completions are generated from these and
// from TessarinCLI::subcommands() at build time, so they cannot drift from
// the usage text.

#include <string>
#include <vector>

#include "core/cli/TessarinCLI.h"

namespace tessarin {

struct CommandFlag {
    std::string name;        // with its dashes: "--out"
    std::string valueHint;   // what follows it in the usage line ("<png>", "x,y,w,h"); empty for a switch
    bool takesFile = false;  // the value is a path (the hint names <png> or <file>)

    friend bool operator==(const CommandFlag&, const CommandFlag&) = default;
};

// The flags a command's usage lines name, in order of first appearance,
// each once.
std::vector<CommandFlag> flagsOf(const TessarinCLI::Subcommand& command);

struct ExitStatusRow {
    int status;
    std::string meaning;
};
const std::vector<ExitStatusRow>& agentExitStatuses();

struct EnvironmentRow {
    std::string name;    // "TESSARIN_LOG", or a setting such as "TESSARIN_LOG=stderr"
    std::string effect;
};
const std::vector<EnvironmentRow>& programEnvironment();

}  // namespace tessarin
