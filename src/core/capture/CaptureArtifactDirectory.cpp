#include "core/capture/CaptureArtifactDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/common/AppInfo.h"
#include "core/common/Log.h"
#include "core/common/PosixFiles.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

void logStorage(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

}  // namespace

Expected<fs::path, std::string> CaptureArtifactDirectory::applicationSupportRoot(
    std::string_view name, const ExportManager::EnvironmentLookup& environment) {
    const auto base = dataHome(environment);
    if (!base) return unexpected(base.error());
    return *base / AppInfo::appId / name;
}

bool CaptureArtifactDirectory::ensureDirectories() const {
    // The folders above are ordinary; this one holds private captures, so
    // it and its sub-folders are made for the user alone.
    std::error_code error;
    fs::create_directories(root_.parent_path(), error);
    if (error) {
        logStorage("createDirectory failed at " + root_.parent_path().string() + ": " + errnoText(error.value()));
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
    return readCappedFile(indexPath(), maxBytes, *calls_);
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
    // The folder is made by ensureDirectories(); the lock above needed it too.
    const DurableWriteOptions options{.newFileMode = 0600, .folderMode = std::nullopt};
    if (const auto fault = replaceFileContents(indexPath(), *text, options, *calls_)) {
        logStorage("index write failed at " + indexPath().string() + ": " + fault->reason);
        return false;
    }
    return true;
}

bool CaptureArtifactDirectory::persist(const std::string& text) const {
    return updateIndex(0, [&text](const IndexRead&) { return std::optional<std::string>(text); });
}

std::optional<fs::path> CaptureArtifactDirectory::setIndexAside(const IndexRead& judged, size_t maxBytes,
                                                                const std::string& reason) const {
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorage("index unusable at " + indexPath().string() + ": " + reason + "; " + lock.error());
        return std::nullopt;
    }
    return setAsideUnusableFile(indexPath(), judged, reason, maxBytes, *calls_);
}

bool CaptureArtifactDirectory::hasSetAsideIndex() const { return hasSetAsideCopy(indexPath()); }

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
            logStorage("GC listing failed at " + folderPath.string() + ": " + errnoText(error.value()));
        }
        return;
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            logStorage("GC listing failed at " + folderPath.string() + ": " + errnoText(error.value()));
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

}  // namespace tessarin
