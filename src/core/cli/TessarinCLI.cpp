#include "core/cli/TessarinCLI.h"

#include <cctype>

#include "core/cli/CLIError.h"
#include "core/cli/JsonWriter.h"
#include "core/common/Log.h"
#include "core/common/TessarinLink.h"

namespace tessarin {

void TessarinCLI::warn(const std::string& message) {
    if (const auto line = JsonWriter::compact({{"warning", message}})) err << *line << '\n';
    err.flush();
}

bool TessarinCLI::isAgentInvocation(const std::vector<std::string>& args) {
    // The desktop starts the program bare or with tessarin: links; anything
    // else is meant for the agent, and a misspelt command must fail, not
    // open a window.
    return !args.empty() && !isTessarinLink(args[0]);
}

void TessarinCLI::fail(const std::string& message) {
    const auto line = JsonWriter::compact({{"error", message}});
    err << line.value_or(R"({"error":"tessarin failed"})") << '\n';
    err.flush();
}

std::optional<std::string> TessarinCLI::ignoredFlagsWarning(const CLIArguments& args) const {
    const auto ignored = args.ignoredFlags();
    if (ignored.empty()) return std::nullopt;
    std::string text = "ignored flags: ";
    for (size_t i = 0; i < ignored.size(); ++i) {
        if (i > 0) text += ", ";
        text += "--" + ignored[i];
    }
    return JsonWriter::compact({{"warning", text}});
}

int TessarinCLI::run(const std::vector<std::string>& args) {
    const CLIArguments parsed(args);
    const Subcommand* command = subcommand(parsed.command());
    if (!command) {
        fail("unknown command \"" + parsed.command() + "\"");
        out << usageText() << '\n';
        out.flush();
        return kUnknownCommandStatus;
    }
    int status = 0;
    try {
        status = command->run(*this, parsed);
    } catch (const CLIError& error) {
        fail(error.description());
        return 1;
    } catch (const std::exception& error) {
        // Anything else that escapes a command is still reported as one JSON line.
        fail(error.what());
        return 1;
    }
    // A result nobody received is a failure: a script reading a full disk's
    // or a closed pipe's nothing must not see success.
    if (!out.flush()) {
        fail("could not write the result to standard output");
        return 1;
    }
    if (const auto warning = ignoredFlagsWarning(parsed)) {
        err << *warning << '\n';
        err.flush();
    }
    return status;
}

}  // namespace tessarin
