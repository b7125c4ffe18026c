#include "core/common/StoredFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "core/common/Log.h"
#include "core/common/PathResolution.h"
#include "core/common/PosixFiles.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

constexpr int kAsideNameAttempts = 1000;

void logStorage(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

FileRead unusable(std::string reason) { return {FileRead::Kind::unusable, {}, std::move(reason)}; }
FileRead failed(std::string reason) { return {FileRead::Kind::failed, {}, std::move(reason)}; }

// Errors that trying again will not cure.
bool isLasting(int error) {
    return error == EACCES || error == EPERM || error == ELOOP || error == ENXIO || error == EISDIR ||
           error == ENAMETOOLONG;
}

FileRead fromOpenFault(const FileFault& fault) {
    // ENOTDIR: a component of the path is a file, so there is no file here either.
    if (fault.errorNumber == ENOENT || fault.errorNumber == ENOTDIR) return {};
    if (fault.errorNumber == EINVAL) return unusable(fault.reason);  // not a regular file
    if (isLasting(fault.errorNumber)) return unusable("cannot be opened: " + fault.reason);
    return failed("cannot be opened: " + fault.reason);
}

fs::path folderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

}  // namespace

bool FileRead::sameProblemAs(const FileRead& later) const {
    if (later.kind != kind) return false;
    return kind == Kind::unusable || (kind == Kind::text && later.text == text);
}

FileRead readCappedFile(const fs::path& path, size_t maxBytes, const FileSystemCalls& calls) {
    const auto resolved = resolvePath(path);
    if (!resolved) return fromOpenFault(faultFromErrno(resolved.error()));
    const auto fd = openRegularFileNoFollow(*resolved, calls);
    if (!fd) return fromOpenFault(fd.error());
    struct stat info {};
    if (::fstat(fd->get(), &info) != 0) return failed("cannot be read: " + errnoText(errno));
    maxBytes = std::min(maxBytes, SIZE_MAX - 1);
    const std::string tooLarge = "larger than " + std::to_string(maxBytes) + " bytes";
    if (info.st_size < 0 || static_cast<uintmax_t>(info.st_size) > maxBytes) return unusable(tooLarge);
    // Sized by what fstat saw, growing to one byte past the cap so a file
    // that grew since is still caught.
    const size_t limit = maxBytes + 1;
    std::string text(std::min(limit, static_cast<size_t>(info.st_size) + 1), '\0');
    size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            if (text.size() == limit) return unusable(tooLarge);
            text.resize(std::min(limit, text.size() * 2));
        }
        const ssize_t n = calls.read(fd->get(), text.data() + length, text.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed("cannot be read: " + errnoText(errno));
        if (n == 0) break;
        length += static_cast<size_t>(n);
    }
    text.resize(length);
    return {FileRead::Kind::text, std::move(text), {}};
}

std::optional<FileFault> replaceFileContents(const fs::path& path, std::string_view bytes,
                                             const DurableWriteOptions& options, const FileSystemCalls& calls) {
    const auto resolved = resolvePath(path);
    if (!resolved) return faultFromErrno(resolved.error());
    auto file = DurableFile::create(*resolved, options, calls);
    if (!file) return file.error();
    if (auto fault = file->writeAll(bytes)) return fault;
    return file->commit();
}

std::optional<fs::path> setAsideUnusableFile(const fs::path& path, const FileRead& judged, std::string_view reason,
                                             size_t maxBytes, const FileSystemCalls& calls) {
    if (!judged.sameProblemAs(readCappedFile(path, maxBytes, calls))) return std::nullopt;
    const std::string what = "file unusable at " + path.string() + ": " + std::string(reason);
    const fs::path parent = folderOf(path);
    const auto resolvedParent = resolvePath(parent);
    if (!resolvedParent) {
        logStorage(what + "; could not move it aside: " + errnoText(resolvedParent.error()));
        return std::nullopt;
    }
    const auto folder = openFolderNoFollow(*resolvedParent, std::nullopt, calls);
    if (!folder) {
        logStorage(what + "; could not move it aside: " + folder.error().reason);
        return std::nullopt;
    }
    const std::string name = path.filename().string();
    const std::string base = name + ".corrupt-" + utcTimestamp();
    for (int n = 0; n < kAsideNameAttempts; ++n) {
        const std::string aside = n == 0 ? base : base + "-" + std::to_string(n);
        struct stat taken {};
        if (::fstatat(folder->get(), aside.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) continue;
        // The caller's lock keeps other set-asides of this file from racing to the name.
        if (calls.renameat(folder->get(), name.c_str(), folder->get(), aside.c_str()) != 0) {
            logStorage(what + "; could not move it aside: " + errnoText(errno));
            return std::nullopt;
        }
        const fs::path moved = path.parent_path() / aside;
        logStorage(what + "; moved aside to " + moved.string());
        return moved;
    }
    logStorage(what + "; could not move it aside: no free name");
    return std::nullopt;
}

bool hasSetAsideCopy(const fs::path& path) {
    const std::string prefix = path.filename().string() + ".corrupt-";
    std::error_code error;
    for (fs::directory_iterator it(folderOf(path), error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().starts_with(prefix)) return true;
    }
    return false;
}

}  // namespace tessarin
