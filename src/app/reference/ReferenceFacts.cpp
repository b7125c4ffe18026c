#include "app/reference/ReferenceFacts.h"

#include "core/automation/TessarinURLCommand.h"
#include "core/common/AppInfo.h"

namespace tessarin {

ReferenceFacts currentReferenceFacts() {
    return {
        .version = AppInfo::shortVersion,
        .commands = TessarinCLI::subcommands(),
        .shapeSpecLines = TessarinCLI::shapeSpecLines(),
        .exitStatuses = agentExitStatuses(),
        .environment = programEnvironment(),
        .linkCommands = TessarinURLCommand::commandWords(),
        .moduleFolder = AppInfo::moduleFolder,
    };
}

}  // namespace tessarin
