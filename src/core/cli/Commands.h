#pragma once
// The handlers of the command table, each (context, arguments) -> exit status.
// They throw CLIError; the dispatcher reports it.

#include "core/cli/TessarinCLI.h"

namespace tessarin::Commands {

int runCaptureFull(TessarinCLI& cli, const CLIArguments& args);
int runCaptureRegion(TessarinCLI& cli, const CLIArguments& args);
int runCapturePreviousRegion(TessarinCLI& cli, const CLIArguments& args);
int runCaptureWindow(TessarinCLI& cli, const CLIArguments& args);
int runListTargets(TessarinCLI& cli, const CLIArguments& args);
int runAnnotate(TessarinCLI& cli, const CLIArguments& args);
int runCaptureScrolling(TessarinCLI& cli, const CLIArguments& args);
int runCaptureText(TessarinCLI& cli, const CLIArguments& args);
int runDoctor(TessarinCLI& cli, const CLIArguments& args);
int runVersion(TessarinCLI& cli, const CLIArguments& args);
int runHelp(TessarinCLI& cli, const CLIArguments& args);

}  // namespace tessarin::Commands
