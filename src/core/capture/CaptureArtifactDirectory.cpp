#include "core/capture/CaptureArtifactDirectory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "core/common/AppInfo.h"
#include "core/common/Log.h"
#include "core/common/PosixFiles.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

void logStorage(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

std::string randomSuffix() {
    unsigned char noise[6];
    if (getrandom(noise, sizeof noise, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof noise)) {
        const auto ticks = static_cast<uint64_t>(std::time(nullptr)) ^ (uint64_t(::getpid()) << 20);
        for (size_t i = 0; i < sizeof noise; ++i) noise[i] = static_cast<unsigned char>(ticks >> (8 * i));
    }
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (unsigned char byte : noise) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return suffix;
}

}  // namespace

Expected<fs::path, std::string> CaptureArtifactDirectory::applicationSupportRoot(
    std::string_view name, const ExportManager::EnvironmentLookup& environment) {
    fs::path base;
    if (const char* data = environment("XDG_DATA_HOME"); data && data[0] == '/') {
        base = data;
    } else if (const char* home = environment("HOME"); home && home[0] == '/') {
        base = fs::path(home) / ".local" / "share";
    } else {
        return unexpected(std::string("no home folder: HOME is not set to an absolute path"));
    }
    return base / AppInfo::appId / name;
}

bool CaptureArtifactDirectory::ensureDirectories() const {
    // The folders above are ordinary; this one holds private captures, so
    // it and its sub-folders are made for the user alone.
    std::error_code error;
    fs::create_directories(root_.parent_path(), error);
    if (error) {
        logStorage("createDirectory failed at " + root_.parent_path().string() + ": " + error.message());
        return false;
    }
    std::vector<fs::path> folders{root_};
    for (const auto& name : subfolders_) folders.push_back(root_ / name);
    for (const auto& folderPath : folders) {
        if (::mkdir(folderPath.c_str(), 0700) != 0 && errno != EEXIST) {
            logStorage("createDirectory failed at " + folderPath.string() + ": " + errnoText(errno));
            return false;
        }
    }
    return true;
}

CaptureArtifactDirectory::IndexRead CaptureArtifactDirectory::readIndex(size_t maxBytes) const {
    IndexRead read;
    const UniqueFd fd(openRetrying(indexPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return read;
        read.kind = error == EACCES || error == ELOOP || error == ENXIO ? IndexRead::Kind::unusable
                                                                          : IndexRead::Kind::failed;
        read.reason = "open: " + errnoText(error);
        return read;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return {IndexRead::Kind::failed, {}, "fstat: " + errnoText(errno)};
    if (!S_ISREG(info.st_mode)) return {IndexRead::Kind::unusable, {}, "not a regular file"};
    if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes) {
        return {IndexRead::Kind::unusable, {}, "larger than " + std::to_string(maxBytes) + " bytes"};
    }
    std::string text(static_cast<size_t>(info.st_size) + 1, '\0');
    size_t length = 0;
    for (;;) {
        if (length == text.size()) {
            if (text.size() > maxBytes) return {IndexRead::Kind::unusable, {}, "larger than " + std::to_string(maxBytes) + " bytes"};
            text.resize(std::min(maxBytes + 1, text.size() * 2));
        }
        const ssize_t n = ::read(fd.get(), text.data() + length, text.size() - length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {IndexRead::Kind::failed, {}, "read: " + errnoText(errno)};
        if (n == 0) break;
        length += static_cast<size_t>(n);
    }
    text.resize(length);
    return {IndexRead::Kind::text, std::move(text), {}};
}

std::optional<std::string> CaptureArtifactDirectory::writeIndexLocked(const std::string& text) const {
    const FileSystemCalls& calls = *calls_;
    int fd = -1;
    fs::path temporary;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = root_ / (std::string(".") + indexFileName + ".tmp-" + randomSuffix());
        fd = calls.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST && errno != EINTR) return "cannot create " + temporary.string() + ": " + errnoText(errno);
    }
    if (fd < 0) return std::string("cannot create a temporary file: every name was taken");
    const auto fail = [&](const std::string& what, int error) {
        if (fd >= 0) calls.close(fd);
        ::unlink(temporary.c_str());
        return what + ": " + errnoText(error);
    };
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = calls.write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail("write", errno);
        if (n == 0) return fail("write", ENOSPC);
        written += static_cast<size_t>(n);
    }
    while (calls.fsync(fd) != 0) {
        if (errno != EINTR) return fail("fsync", errno);
    }
    const int closing = std::exchange(fd, -1);
    if (calls.close(closing) != 0) return fail("close", errno);
    if (calls.rename(temporary.c_str(), indexPath().c_str()) != 0) return fail("rename", errno);
    // The rename is durable only once the folder's entry is on disk: without
    // this, a power cut could bring back the old index after we have told
    // the caller (and deleted the files of items it no longer lists).
    const int folder = calls.open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder >= 0) {
        const bool synced = calls.fsync(folder) == 0;
        const int error = errno;
        calls.close(folder);
        if (!synced) return "fsync of folder: " + errnoText(error);
    }
    return std::nullopt;
}

bool CaptureArtifactDirectory::updateIndex(size_t maxBytes, const IndexChange& change) const {
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorage("index write failed at " + indexPath().string() + ": " + lock.error());
        return false;
    }
    const IndexRead current = readIndex(maxBytes);
    if (current.kind == IndexRead::Kind::failed) {
        logStorage("index write failed at " + indexPath().string() + ": the index could not be read: " + current.reason);
        return false;
    }
    std::optional<std::string> text;
    try {
        text = change(current);
    } catch (const std::exception& error) {
        logStorage("index encode failed for " + indexPath().string() + ": " + error.what());
        return false;
    }
    if (!text) return true;
    if (auto error = writeIndexLocked(*text)) {
        logStorage("index write failed at " + indexPath().string() + ": " + *error);
        return false;
    }
    return true;
}

bool CaptureArtifactDirectory::persist(const std::string& text) const {
    return updateIndex(0, [&text](const IndexRead&) { return std::optional<std::string>(text); });
}

std::optional<fs::path> CaptureArtifactDirectory::setIndexAside(const std::string& expectedText,
                                                                const std::string& reason) const {
    auto lock = lockExclusive(lockPath());
    if (!lock) return std::nullopt;
    const IndexRead current = readIndex(SIZE_MAX / 2);
    if (current.kind == IndexRead::Kind::missing || current.kind == IndexRead::Kind::failed) return std::nullopt;
    if (current.kind == IndexRead::Kind::text && current.text != expectedText) return std::nullopt;
    const std::string base = indexPath().string() + ".corrupt-" + utcTimestamp();
    for (int n = 0; n < 1000; ++n) {
        const fs::path aside = n == 0 ? base : base + "-" + std::to_string(n);
        struct stat existing {};
        if (::lstat(aside.c_str(), &existing) == 0) continue;
        if (::rename(indexPath().c_str(), aside.c_str()) != 0) break;
        logStorage("index unusable at " + indexPath().string() + ": " + reason + "; moved aside to " + aside.string());
        return aside;
    }
    logStorage("index unusable at " + indexPath().string() + ": " + reason + "; could not move it aside");
    return std::nullopt;
}

bool CaptureArtifactDirectory::hasSetAsideIndex() const {
    std::error_code error;
    const std::string prefix = std::string(indexFileName) + ".corrupt-";
    for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().starts_with(prefix)) return true;
    }
    return false;
}

bool CaptureArtifactDirectory::isSafeFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

void CaptureArtifactDirectory::removeFile(std::string_view name, std::string_view subfolder) const {
    const fs::path path = root_ / subfolder / name;
    if (!isSafeFileName(name) || !isSafeFileName(subfolder)) {
        logStorage("remove failed at " + path.string() + ": refused file name");
        return;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        logStorage("remove failed at " + path.string() + ": " + errnoText(errno));
    }
}

void CaptureArtifactDirectory::collectGarbage(std::string_view subfolder,
                                              const std::set<std::string, std::less<>>& referenced,
                                              std::chrono::seconds minimumAge,
                                              std::chrono::system_clock::time_point now) const {
    const fs::path folderPath = root_ / subfolder;
    std::error_code error;
    fs::directory_iterator it(folderPath, error);
    if (error) {
        if (error != std::errc::no_such_file_or_directory) {
            logStorage("GC listing failed at " + folderPath.string() + ": " + error.message());
        }
        return;
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            logStorage("GC listing failed at " + folderPath.string() + ": " + error.message());
            return;
        }
        const std::string name = it->path().filename().string();
        if (referenced.contains(name)) continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        if (now - std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) < minimumAge) continue;
        removeFile(name, subfolder);
    }
}

void CaptureArtifactDirectory::removeStaleTemporaries(std::chrono::seconds minimumAge,
                                                      std::chrono::system_clock::time_point now) const {
    const std::string prefix = std::string(".") + indexFileName + ".tmp-";
    std::error_code error;
    for (fs::directory_iterator it(root_, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        struct stat info {};
        if (!name.starts_with(prefix) || ::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (now - std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) < minimumAge) continue;
        if (::unlink(it->path().c_str()) != 0) logStorage("remove failed at " + it->path().string() + ": " + errnoText(errno));
    }
}

}  // namespace tessarin
