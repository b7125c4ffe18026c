#include "core/cli/CLIError.h"

namespace tessarin {

CLIError CLIError::sandboxViolation(const std::string& flag, const std::string& resolvedPath, const std::string& root) {
    return {Kind::sandboxViolation, "--" + flag + " \"" + resolvedPath + "\" is outside the sandbox root \"" + root +
                                        "\" (set by TESSARIN_SANDBOX_ROOT)"};
}

}  // namespace tessarin
