#include "core/preferences/JsonFileStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <system_error>
#include <utility>

#include "core/common/AppInfo.h"
#include "core/common/Log.h"
#include "core/common/DurableFile.h"
#include "core/common/PathResolution.h"
#include "core/common/PosixFiles.h"
#include "core/preferences/PreferencesDocument.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

constexpr std::chrono::seconds kStaleTemporaryAge = std::chrono::minutes(5);

void logStorageError(const std::string& message) { logLine(LogLevel::error, LogCategory::storage, message); }

struct FileRead {
    enum class Kind { missing, document, corrupt, failed };
    Kind kind = Kind::missing;
    nlohmann::json document;
    std::string reason;
};

FileRead corrupt(std::string reason) { return {FileRead::Kind::corrupt, {}, std::move(reason)}; }
FileRead failed(std::string reason) { return {FileRead::Kind::failed, {}, std::move(reason)}; }

FileRead readFile(const fs::path& file) {
    // O_NONBLOCK keeps a FIFO left at the path from blocking the open.
    const int fd = openRetrying(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        // ENOTDIR: a path component is a file, so there is no file here either.
        if (error == ENOENT || error == ENOTDIR) return {};
        // These do not go away by trying again; anything else might.
        if (error == EACCES || error == EPERM || error == ELOOP || error == ENXIO) {
            return corrupt("cannot be opened: " + errnoText(error));
        }
        return failed("open: " + errnoText(error));
    }
    const UniqueFd owned(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) return failed("fstat: " + errnoText(errno));
    if (!S_ISREG(info.st_mode)) return corrupt("not a regular file");
    if (info.st_size < 0 || static_cast<uintmax_t>(info.st_size) > PreferencesDocument::maxBytes) {
        return corrupt("larger than " + std::to_string(PreferencesDocument::maxBytes) + " bytes");
    }
    // Size the buffer by what fstat saw (the file is usually a few hundred
    // bytes), growing up to one byte past the cap so a file that grew after
    // fstat is still caught.
    const size_t limit = PreferencesDocument::maxBytes + 1;
    std::string bytes(std::min(limit, static_cast<size_t>(info.st_size) + 1), '\0');
    size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            if (bytes.size() == limit) break;
            bytes.resize(std::min(limit, bytes.size() * 2));
        }
        const ssize_t n = ::read(fd, bytes.data() + length, bytes.size() - length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failed("read: " + errnoText(errno));
        }
        if (n == 0) break;
        length += static_cast<size_t>(n);
    }
    bytes.resize(length);
    auto parsed = PreferencesDocument::parse(bytes);
    if (!parsed) return corrupt(parsed.error());
    return {FileRead::Kind::document, std::move(parsed).value(), {}};
}

// Caller holds the lock, so no other writer can be racing to the same name.
bool setAside(const fs::path& file, const std::string& reason) {
    const std::string base = file.string() + ".corrupt-" + utcTimestamp();
    for (int n = 0; n < 1000; ++n) {
        const std::string aside = n == 0 ? base : base + "-" + std::to_string(n);
        struct stat existing {};
        if (::lstat(aside.c_str(), &existing) == 0) continue;
        if (::rename(file.c_str(), aside.c_str()) == 0) {
            logStorageError("preferences file unusable at " + file.string() + ": " + reason + "; moved aside to " +
                            aside);
            return true;
        }
        logStorageError("preferences file unusable at " + file.string() + ": " + reason +
                        "; could not move it aside: " + errnoText(errno));
        return false;
    }
    logStorageError("preferences file unusable at " + file.string() + ": " + reason +
                    "; could not move it aside: no free name");
    return false;
}

// The document to build the next write on. Caller holds the lock. Nothing
// when the file is there but must not be replaced.
std::optional<nlohmann::json> readLocked(const fs::path& file) {
    FileRead read = readFile(file);
    switch (read.kind) {
        case FileRead::Kind::missing: return nlohmann::json::object();
        case FileRead::Kind::document: return std::move(read.document);
        case FileRead::Kind::corrupt:
            if (setAside(file, read.reason)) return nlohmann::json::object();
            return std::nullopt;
        case FileRead::Kind::failed:
            logStorageError("preferences read failed at " + file.string() + ": " + read.reason);
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> createFolder(const fs::path& folder) {
    if (folder.empty()) return std::nullopt;
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return std::nullopt;
    if (errno != ENOENT || folder == folder.parent_path()) {
        return "createDirectory failed at " + folder.string() + ": " + errnoText(errno);
    }
    if (auto error = createFolder(folder.parent_path())) return error;
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return std::nullopt;
    return "createDirectory failed at " + folder.string() + ": " + errnoText(errno);
}

fs::path folderOf(const fs::path& file) {
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

std::string temporarySuffix() {
    static std::atomic<unsigned> counter = 0;
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(ticks % 1000000);
}

// Removes a temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

// Where a write lands: through a link (a preferences file kept with a
// person's dotfiles is a link into their repository) to the file it names,
// so the link stays a link.
fs::path writeTarget(const fs::path& file) {
    const auto resolved = resolvePath(file);
    return resolved ? *resolved : file;
}

// Temporary files of writers killed before their rename. Caller holds the
// lock, and a live writer's file is seconds old.
void removeStaleTemporaries(const fs::path& target) {
    const UniqueFd folder(openRetrying(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return;
    removeStaleFiles(folder.get(), target.filename().string() + ".tmp-", kStaleTemporaryAge);
}

// The old file stays whole until the rename; a failure before it leaves the
// old file as it was and no temporary file behind. A replaced file keeps
// its mode.
std::optional<std::string> replaceFile(const fs::path& file, const std::string& text, const StoreSyscalls& sys) {
    UniqueFd out;
    std::optional<TemporaryFile> temporary;
    for (int attempt = 0; attempt < 16 && out.get() < 0; ++attempt) {
        const std::string path = file.string() + ".tmp-" + temporarySuffix();
        out.reset(openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (out.get() >= 0) temporary.emplace(path);
        else if (errno != EEXIST) return "cannot create " + path + ": " + errnoText(errno);
    }
    if (!temporary) return std::string("cannot create a temporary file: every name was taken");

    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = sys.write(out.get(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return "write: " + errnoText(errno);
        if (n == 0) return std::string("write: no progress");
        written += static_cast<size_t>(n);
    }
    struct stat existing {};
    if (::stat(file.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        (void)::fchmod(out.get(), existing.st_mode & 07777);
    }
    if (sys.fsync(out.get()) != 0) return "fsync: " + errnoText(errno);
    if (::close(out.release()) != 0) return "close: " + errnoText(errno);
    if (sys.rename(temporary->path().c_str(), file.c_str()) != 0) return "rename: " + errnoText(errno);
    temporary->keep();
    // The folder is not synced: the rename is atomic, so after a crash the
    // folder names either the old document or the new one, each whole. A
    // folder sync would only make the newest setting survive a power cut, at
    // the price of a journal commit (several milliseconds) on every change.
    return std::nullopt;
}

bool usableBase(const char* value) { return value && *value && fs::path(value).is_absolute(); }

}  // namespace

StoreSyscalls StoreSyscalls::posix() {
    return {
        [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
        [](int fd) { return ::fsync(fd); },
        [](const char* from, const char* to) { return ::rename(from, to); },
    };
}

Expected<fs::path, std::string> JsonFileStore::defaultPath(const EnvironmentLookup& environment) {
    fs::path base;
    if (const char* config = environment("XDG_CONFIG_HOME"); usableBase(config)) {
        base = config;
    } else if (const char* home = environment("HOME"); usableBase(home)) {
        base = fs::path(home) / ".config";
    } else {
        return unexpected(std::string("no home folder: HOME is not set to an absolute path"));
    }
    return base / AppInfo::appId / fileName;
}

Expected<fs::path, std::string> JsonFileStore::defaultPath() {
    return defaultPath([](const char* name) -> const char* { return std::getenv(name); });
}

JsonFileStore::JsonFileStore(fs::path file, StoreSyscalls syscalls)
    : file_(std::move(file)), syscalls_(std::move(syscalls)) {
    document_ = readForUse().value_or(nlohmann::json::object());
}

JsonFileStore::~JsonFileStore() {
    if (!pending_.empty()) {
        logStorageError(std::to_string(pending_.size()) + " preference changes were never written to " +
                        file_.string());
    }
}

fs::path JsonFileStore::lockPath() const { return file_.string() + ".lock"; }

std::optional<nlohmann::json> JsonFileStore::readForUse() {
    FileRead read = readFile(file_);
    switch (read.kind) {
        case FileRead::Kind::missing: return nlohmann::json::object();
        case FileRead::Kind::document: return std::move(read.document);
        case FileRead::Kind::failed:
            logStorageError("preferences read failed at " + file_.string() + ": " + read.reason);
            return std::nullopt;
        case FileRead::Kind::corrupt: break;
    }
    // Move it aside under the lock only: a writer may have replaced the bad
    // file with a good one since it was read.
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorageError("preferences read failed at " + file_.string() + ": " + read.reason + " (" + lock.error() +
                        ")");
        return nlohmann::json::object();
    }
    return readLocked(file_).value_or(nlohmann::json::object());
}

JsonFileStore::WriteResult JsonFileStore::writePending() {
    if (pending_.empty()) return WriteResult::written;
    if (auto error = createFolder(folderOf(file_))) {
        logStorageError(*error);
        return WriteResult::failed;
    }
    auto lock = lockExclusive(lockPath());
    if (!lock) {
        logStorageError("preferences write failed at " + file_.string() + ": " + lock.error());
        return WriteResult::failed;
    }
    auto document = readLocked(file_);
    if (!document) {
        logStorageError("preferences write failed at " + file_.string() + ": the file there could not be read");
        return WriteResult::failed;
    }
    const nlohmann::json onDisk = *document;
    for (const auto& [key, value] : pending_) {
        if (value) (*document)[key] = *value;
        else document->erase(key);
    }
    // When the file already says all of it (an agent capturing the same
    // region again), there is nothing to rewrite and nothing to fsync.
    if (*document != onDisk) {
        const auto text = PreferencesDocument::serialize(*document);
        if (!text) {
            logStorageError("preferences write refused at " + file_.string() + ": the document would be " +
                            text.error());
            return WriteResult::refused;
        }
        const fs::path target = writeTarget(file_);
        removeStaleTemporaries(target);
        if (auto error = replaceFile(target, text.value(), syscalls_)) {
            logStorageError("preferences write failed at " + file_.string() + ": " + *error);
            return WriteResult::failed;
        }
    }
    document_ = std::move(*document);
    pending_.clear();
    return WriteResult::written;
}

bool JsonFileStore::change(const std::string& key, std::optional<nlohmann::json> value) {
    const std::lock_guard guard(mutex_);
    if (value) {
        // A value that can never be written is refused now, or it would sit
        // in the pending changes and fail every later write.
        const auto alone = PreferencesDocument::serialize(nlohmann::json::object({{key, *value}}));
        if (!alone) {
            logStorageError("preferences value for \"" + key + "\" refused: it would be " + alone.error());
            return false;
        }
    }
    pending_[key] = std::move(value);
    const WriteResult result = writePending();
    if (result == WriteResult::refused) pending_.erase(key);
    return result == WriteResult::written;
}

bool JsonFileStore::set(const std::string& key, const nlohmann::json& value) { return change(key, value); }

bool JsonFileStore::remove(const std::string& key) { return change(key, std::nullopt); }

std::optional<nlohmann::json> JsonFileStore::object(const std::string& key) const {
    const std::lock_guard guard(mutex_);
    if (const auto it = pending_.find(key); it != pending_.end()) return it->second;
    if (const auto it = document_.find(key); it != document_.end()) return *it;
    return std::nullopt;
}

std::optional<nlohmann::json> JsonFileStore::reload(const std::string& key) {
    {
        const std::lock_guard guard(mutex_);
        if (const auto fresh = readForUse()) {
            if (const auto it = fresh->find(key); it != fresh->end()) document_[key] = *it;
            else document_.erase(key);
        }
    }
    return object(key);
}

bool JsonFileStore::synchronize() {
    const std::lock_guard guard(mutex_);
    const WriteResult result = writePending();
    if (result == WriteResult::refused) {
        logStorageError("preferences changes dropped: " + std::to_string(pending_.size()) +
                        " changes could not be written to " + file_.string());
        pending_.clear();
    }
    return result == WriteResult::written;
}

}  // namespace tessarin
