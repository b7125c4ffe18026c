#include "core/cli/CLISandbox.h"

#include <cstdlib>
#include <vector>

#include "core/cli/CLIError.h"
#include "core/common/PathResolution.h"
#include "core/common/PosixFiles.h"

namespace tessarin::CLISandbox {
namespace fs = std::filesystem;
namespace {

std::vector<std::string> componentsOf(const fs::path& path) {
    std::vector<std::string> parts;
    for (const auto& part : path.lexically_normal().relative_path()) {
        if (!part.empty()) parts.push_back(part.string());
    }
    return parts;
}

fs::path absolute(const std::string& value) {
    std::error_code ignored;
    return fs::path(value).is_absolute() ? fs::path(value) : fs::current_path(ignored) / value;
}

}  // namespace

std::optional<std::string> rootFromEnvironment() {
    const char* value = std::getenv("TESSARIN_SANDBOX_ROOT");
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool isPath(const fs::path& path, const fs::path& root) {
    const auto rootParts = componentsOf(root);
    const auto pathParts = componentsOf(path);
    if (pathParts.size() < rootParts.size()) return false;
    for (size_t i = 0; i < rootParts.size(); ++i) {
        if (pathParts[i] != rootParts[i]) return false;
    }
    return true;
}

fs::path validated(const std::optional<std::string>& root, const std::string& flag, const std::string& value) {
    const auto resolvedValue = resolvePath(value);
    if (!root) {
        if (resolvedValue) return *resolvedValue;
        // The kernel would refuse it too; with a root it is a violation.
        throw CLIError::badArguments("--" + flag + " \"" + absolute(value).string() +
                                     "\" cannot be resolved: " + errnoText(resolvedValue.error()));
    }
    const auto resolvedRoot = resolvePath(*root);
    const std::string rootShown = resolvedRoot ? resolvedRoot->string() : absolute(*root).string();
    if (!resolvedRoot || !resolvedValue) throw CLIError::sandboxViolation(flag, absolute(value).string(), rootShown);
    if (isPath(*resolvedValue, *resolvedRoot)) return *resolvedValue;
    throw CLIError::sandboxViolation(flag, resolvedValue->string(), rootShown);
}

}  // namespace tessarin::CLISandbox
