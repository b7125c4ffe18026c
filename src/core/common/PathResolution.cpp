#include "core/common/PathResolution.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <string>
#include <vector>

namespace tessarin {
namespace fs = std::filesystem;
namespace {

std::deque<std::string> componentsOf(const fs::path& path) {
    std::deque<std::string> parts;
    for (const auto& part : path.relative_path()) {
        if (!part.empty()) parts.push_back(part.string());
    }
    return parts;
}

Expected<std::string, int> readLink(const fs::path& path) {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return unexpected(errno);
    if (size_t(n) >= buffer.size()) return unexpected(ENAMETOOLONG);
    return std::string(buffer.data(), size_t(n));
}

}  // namespace

bool namesFolder(const fs::path& path) {
    const std::string& text = path.native();
    if (text.empty()) return false;
    if (text.back() == '/') return true;
    const fs::path last = path.filename();
    return last == "." || last == "..";
}

Expected<fs::path, int> resolvePath(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = path.is_absolute() ? path : fs::current_path(error) / path;
    if (error) return unexpected(error.value());
    std::deque<std::string> todo = componentsOf(absolute);

    fs::path existing = "/";           // resolved, and known to exist
    std::vector<std::string> missing;  // components below it that do not exist (yet)
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
            // ENOENT, ENOTDIR, EACCES: judged as written; opening it later
            // meets the same error, or creates exactly this name.
            missing.push_back(part);
            continue;
        }
        if (S_ISLNK(info.st_mode)) {
            // Giving up here and keeping the name would let the kernel
            // follow the rest of the chain to somewhere never judged.
            if (++hops > kMaxLinkHops) return unexpected(ELOOP);
            const auto target = readLink(candidate);
            if (!target) return unexpected(target.error());
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
    if (namesFolder(path) && result.has_filename()) result += "/";
    return result;
}

}  // namespace tessarin
