#include "core/common/DurableFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <vector>

#include "core/common/PathResolution.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

constexpr int kNameAttempts = 64;
constexpr size_t kSuffixLength = 6;
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

FileFault notRegular() { return {EINVAL, "not a regular file"}; }

int openAtRetrying(const FileSystemCalls& calls, int folder, const char* name, int flags, mode_t mode) {
    int fd;
    do fd = calls.openat(folder, name, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// The folder `name` below `parent`, never through a link.
Expected<UniqueFd, FileFault> openChildFolder(int parent, const std::string& name, std::optional<mode_t> createMode,
                                              const FileSystemCalls& calls) {
    if (name == "." || name == "..") return unexpected(faultFromErrno(EINVAL));
    for (int attempt = 0; attempt < 2; ++attempt) {
        UniqueFd fd(openAtRetrying(calls, parent, name.c_str(), kFolderFlags, 0));
        if (fd.get() >= 0) {
            struct stat info {};
            if (::fstat(fd.get(), &info) != 0) return unexpected(faultFromErrno(errno));
            // O_PATH with O_NOFOLLOW may hand back the link itself.
            if (!S_ISDIR(info.st_mode)) return unexpected(faultFromErrno(S_ISLNK(info.st_mode) ? ELOOP : ENOTDIR));
            return fd;
        }
        const int error = errno;
        if (error == ENOTDIR) {
            // A link where a folder was judged to be is the race this guards against.
            struct stat info {};
            if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
                return unexpected(faultFromErrno(ELOOP));
            }
        }
        if (error != ENOENT || !createMode) return unexpected(faultFromErrno(error));
        if (::mkdirat(parent, name.c_str(), *createMode) != 0 && errno != EEXIST) {
            return unexpected(faultFromErrno(errno));
        }
    }
    return unexpected(faultFromErrno(ENOENT));
}

// ".<name>.tmp-", shortened so the whole temporary name stays within NAME_MAX.
std::string temporaryPrefixFor(const std::string& name) {
    const size_t extra = 1 + 5 + kSuffixLength;  // ".", ".tmp-", suffix
    return "." + name.substr(0, NAME_MAX - extra) + ".tmp-";
}

int fsyncRetrying(const FileSystemCalls& calls, int fd) {
    int result;
    do result = calls.fsync(fd);
    while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace

int openAtSystem(int folder, const char* name, int flags, mode_t mode) { return ::openat(folder, name, flags, mode); }

const FileSystemCalls& FileSystemCalls::system() {
    static const FileSystemCalls calls{};
    return calls;
}

FileFault faultFromErrno(int error) { return {error, errnoText(error)}; }

std::string randomFileSuffix() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char noise[kSuffixLength];
    if (getrandom(noise, sizeof noise, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof noise)) {
        // No entropy yet (very early boot): uniqueness, not secrecy, is what
        // matters, and O_EXCL catches any collision.
        static std::atomic<uint64_t> counter{0};
        uint64_t mix = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (uint64_t(::getpid()) << 32) ^ counter.fetch_add(0x9E3779B97F4A7C15u);
        for (auto& byte : noise) {
            byte = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005u + 1442695040888963407u;
        }
    }
    std::string suffix;
    for (unsigned char byte : noise) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return suffix;
}

Expected<UniqueFd, FileFault> openFolderNoFollow(const fs::path& folder, std::optional<mode_t> createMode,
                                                 const FileSystemCalls& calls) {
    if (!folder.is_absolute()) return unexpected(faultFromErrno(EINVAL));
    UniqueFd current(openAtRetrying(calls, AT_FDCWD, "/", kFolderFlags, 0));
    if (current.get() < 0) return unexpected(faultFromErrno(errno));
    for (const auto& part : folder.relative_path()) {
        if (part.empty()) continue;
        auto child = openChildFolder(current.get(), part.string(), createMode, calls);
        if (!child) {
            FileFault fault = child.error();
            fault.inFolder = true;
            return unexpected(std::move(fault));
        }
        current = std::move(child).value();
    }
    return current;
}

Expected<UniqueFd, FileFault> openRegularFileNoFollow(const fs::path& path, const FileSystemCalls& calls) {
    if (namesFolder(path) || !path.has_filename()) return unexpected(faultFromErrno(EISDIR));
    auto folder = openFolderNoFollow(path.parent_path(), std::nullopt, calls);
    if (!folder) return unexpected(folder.error());
    const std::string name = path.filename().string();
    // Judge the type before opening: opening a device can have effects of its own.
    struct stat info {};
    if (::fstatat(folder->get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return unexpected(faultFromErrno(errno));
    }
    if (S_ISLNK(info.st_mode)) return unexpected(faultFromErrno(ELOOP));
    if (!S_ISREG(info.st_mode)) return unexpected(S_ISDIR(info.st_mode) ? faultFromErrno(EISDIR) : notRegular());
    UniqueFd fd(openAtRetrying(calls, folder->get(), name.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (fd.get() < 0) return unexpected(faultFromErrno(errno));
    if (::fstat(fd.get(), &info) != 0) return unexpected(faultFromErrno(errno));
    if (!S_ISREG(info.st_mode)) return unexpected(notRegular());
    return fd;
}

void removeStaleFiles(int folder, const std::vector<std::string>& prefixes, std::chrono::seconds age) {
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return;
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = ::readdir(entries)) {
        const std::string_view name(entry->d_name);
        if (std::none_of(prefixes.begin(), prefixes.end(), [&](const auto& p) { return name.starts_with(p); })) continue;
        struct stat info {};
        if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
        if (now - std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) <= age) continue;
        ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(entries);
}

Expected<DurableFile, FileFault> DurableFile::create(const fs::path& target, const DurableWriteOptions& options,
                                                     const FileSystemCalls& calls) {
    if (namesFolder(target) || !target.has_filename()) return unexpected(faultFromErrno(EISDIR));
    auto folder = openFolderNoFollow(target.parent_path(), options.folderMode, calls);
    if (!folder) return unexpected(folder.error());
    const std::string name = target.filename().string();

    struct stat existing {};
    if (::fstatat(folder->get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        // A pipe or device must not be swapped for a regular file; a link
        // here appeared after the path was resolved.
        if (S_ISDIR(existing.st_mode)) return unexpected(faultFromErrno(EISDIR));
        if (S_ISLNK(existing.st_mode)) return unexpected(faultFromErrno(ELOOP));
        if (!S_ISREG(existing.st_mode)) return unexpected(notRegular());
    }

    const std::string prefix = temporaryPrefixFor(name);
    std::vector<std::string> stalePrefixes{prefix};
    if (!options.formerTemporaryPrefix.empty()) stalePrefixes.push_back(options.formerTemporaryPrefix);
    removeStaleFiles(folder->get(), stalePrefixes, options.staleAfter);
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string temporary = prefix + randomFileSuffix();
        const int fd = calls.openat(folder->get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                    options.newFileMode);
        if (fd >= 0) return DurableFile(calls, std::move(folder).value(), name, std::move(temporary), fd);
        error = errno;
        if (error != EEXIST && error != EINTR) break;
    }
    return unexpected(faultFromErrno(error));
}

DurableFile::DurableFile(DurableFile&& other) noexcept
    : calls_(other.calls_),
      folder_(std::move(other.folder_)),
      name_(std::move(other.name_)),
      temporaryName_(std::exchange(other.temporaryName_, {})),
      fd_(std::exchange(other.fd_, -1)),
      committed_(other.committed_) {}

DurableFile::~DurableFile() {
    closeTemporary();
    if (!committed_ && !temporaryName_.empty()) ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
}

void DurableFile::closeTemporary() {
    // Closed whatever close() says: retrying could close someone else's descriptor.
    if (fd_ >= 0) calls_->close(std::exchange(fd_, -1));
}

std::optional<FileFault> DurableFile::writeAll(std::string_view bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = calls_->write(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return faultFromErrno(errno);
        if (n == 0) return faultFromErrno(ENOSPC);
        written += static_cast<size_t>(n);
    }
    return std::nullopt;
}

std::optional<FileFault> DurableFile::commit() {
    struct stat existing {};
    if (::fstatat(folder_.get(), name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(existing.st_mode)) return S_ISDIR(existing.st_mode) ? faultFromErrno(EISDIR) : notRegular();
        // The replacement keeps what the owner chose for the file. The owner
        // change is refused unless we may make it; the group may still
        // change. chown clears set-id bits, so the mode comes after it.
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) (void)::fchown(fd_, uid_t(-1), existing.st_gid);
        if (::fchmod(fd_, existing.st_mode & 07777) != 0) return faultFromErrno(errno);
    }
    if (fsyncRetrying(*calls_, fd_) != 0) return faultFromErrno(errno);
    const int fd = std::exchange(fd_, -1);
    if (calls_->close(fd) != 0) return faultFromErrno(errno);
    if (calls_->renameat(folder_.get(), temporaryName_.c_str(), folder_.get(), name_.c_str()) != 0) {
        return faultFromErrno(errno);
    }
    committed_ = true;
    return syncFolder();
}

std::optional<FileFault> DurableFile::syncFolder() {
    // The rename is atomic, but only durable once the folder's entry is on
    // disk: without this a power cut could bring back the old file after the
    // caller was told (and, for an index, deleted the files it no longer
    // names). The O_PATH descriptor cannot be synced, so "." is opened.
    const int folder = openAtRetrying(*calls_, folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    // A folder we may write into but not list: the rename stands, unsynced.
    if (folder < 0) return std::nullopt;
    const int result = fsyncRetrying(*calls_, folder);
    const int error = errno;
    calls_->close(folder);
    // EINVAL: a file system that cannot sync folders.
    if (result != 0 && error != EINVAL) return faultFromErrno(error);
    return std::nullopt;
}

}  // namespace tessarin
