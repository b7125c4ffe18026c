#include "core/cli/CLISandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <vector>

#include "core/cli/CLIError.h"

namespace tessarin::CLISandbox {
namespace fs = std::filesystem;
namespace {

constexpr int kMaxLinkHops = 40;

std::deque<std::string> componentsOf(const fs::path& path) {
    std::deque<std::string> parts;
    for (const auto& part : path.relative_path()) {
        if (!part.empty()) parts.push_back(part.string());
    }
    return parts;
}

std::optional<std::string> readLink(const fs::path& path) {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0 || size_t(n) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), size_t(n));
}

}  // namespace

std::optional<std::string> rootFromEnvironment() {
    const char* value = std::getenv("TESSARIN_SANDBOX_ROOT");
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

fs::path resolvedPath(const std::string& path) {
    fs::path absolute = fs::path(path).is_absolute() ? fs::path(path) : fs::current_path() / path;
    std::deque<std::string> todo = componentsOf(absolute);

    fs::path existing = "/";               // resolved, and known to exist
    std::vector<std::string> missing;      // components below it that do not exist (yet)
    int hops = 0;

    while (!todo.empty()) {
        const std::string part = todo.front();
        todo.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            // Links in `existing` are already resolved, so its parent is the real parent.
            if (!missing.empty()) {
                missing.pop_back();
            } else {
                existing = existing.parent_path();
            }
            continue;
        }
        if (!missing.empty()) {
            missing.push_back(part);
            continue;
        }
        const fs::path candidate = existing / part;
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0) {
            missing.push_back(part);  // ENOENT, ENOTDIR, EACCES: judged as written
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            const auto target = readLink(candidate);
            if (!target || ++hops > kMaxLinkHops) {
                missing.push_back(part);
                continue;
            }
            // Continue from the link's target, then the rest of the path.
            const fs::path targetPath(*target);
            std::deque<std::string> expanded = componentsOf(targetPath);
            if (targetPath.is_absolute()) existing = "/";
            todo.insert(todo.begin(), expanded.begin(), expanded.end());
            continue;
        }
        existing = candidate;
    }
    fs::path result = existing;
    for (const auto& part : missing) result /= part;
    return result;
}

bool isPath(const fs::path& path, const fs::path& root) {
    const auto rootParts = componentsOf(root.lexically_normal());
    const auto pathParts = componentsOf(path.lexically_normal());
    if (pathParts.size() < rootParts.size()) return false;
    for (size_t i = 0; i < rootParts.size(); ++i) {
        if (pathParts[i] != rootParts[i]) return false;
    }
    return true;
}

fs::path validated(const std::optional<std::string>& root, const std::string& flag, const std::string& value) {
    if (!root) return fs::path(value).is_absolute() ? fs::path(value) : fs::current_path() / value;
    const fs::path resolvedRoot = resolvedPath(*root);
    const fs::path resolvedValue = resolvedPath(value);
    if (isPath(resolvedValue, resolvedRoot)) return resolvedValue;
    throw CLIError::sandboxViolation(flag, resolvedValue.string(), resolvedRoot.string());
}

}  // namespace tessarin::CLISandbox

