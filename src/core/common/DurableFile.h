#pragma once
// Files that are replaced whole or not at all, written inside a folder that
// was opened once without following any link.
//
// The folder is opened one component at a time from "/" with O_NOFOLLOW, so
// a path that resolvePath() judged (it contains no links) cannot be bent
// somewhere else between the judging and the writing: a component swapped
// for a link since then fails the open with ELOOP. The temporary file is
// created, written and renamed relative to that folder's descriptor, so
// every step lands in the folder that was opened. Readers open the same
// way. Image export writes through DurableFile; whole-file documents (the
// preferences, the history index) through StoredFile.h, which builds on it.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/PosixFiles.h"

namespace tessarin {

int openAtSystem(int folder, const char* name, int flags, mode_t mode);

// The system calls every durable write and capped read goes through, one
// seam for image export, the history index and the preferences. Tests
// substitute functions that fail the way disks fail (full, interrupted,
// short writes, a refused rename, a folder that cannot be synced); fields
// left out of a designated initialiser are the real calls.
struct FileSystemCalls {
    int (*openat)(int folder, const char* name, int flags, mode_t mode) = openAtSystem;
    ssize_t (*read)(int fd, void* buffer, size_t count) = ::read;
    ssize_t (*write)(int fd, const void* buffer, size_t count) = ::write;
    int (*fsync)(int fd) = ::fsync;
    int (*close)(int fd) = ::close;
    int (*renameat)(int fromFolder, const char* from, int toFolder, const char* to) = ::renameat;

    static const FileSystemCalls& system();
};

// Why a file could not be opened or written: the errno and its sentence
// ("No space left on device", "not a regular file").
struct FileFault {
    int errorNumber = 0;
    std::string reason;
    bool inFolder = false;  // the folder could not be opened or made
};
FileFault faultFromErrno(int error);

// Opens the folder `folder` (absolute, no links, no "." or "..": what
// resolvePath() returns) without following links. With `createMode`,
// missing folders are made with that mode (less the umask).
Expected<UniqueFd, FileFault> openFolderNoFollow(const std::filesystem::path& folder,
                                                 std::optional<mode_t> createMode = std::nullopt,
                                                 const FileSystemCalls& calls = FileSystemCalls::system());

// Opens the regular file at `path` (as for openFolderNoFollow) for reading,
// following no link. Pipes, devices and folders are refused without being
// opened for reading, so nothing blocks.
Expected<UniqueFd, FileFault> openRegularFileNoFollow(const std::filesystem::path& path,
                                                      const FileSystemCalls& calls = FileSystemCalls::system());

struct DurableWriteOptions {
    mode_t newFileMode = 0644;                // less the umask; a replaced file keeps its own mode
    std::optional<mode_t> folderMode = 0777;  // missing folders made with this mode; none: they must exist
    // Temporary files are ".<name>.tmp-XXXXXX" beside the target. Those older
    // than this are left-overs of a killed writer and are removed when the
    // next write of the same target starts (under the caller's lock, where
    // the file has one, so a live writer's file is seconds old).
    std::chrono::seconds staleAfter{std::chrono::minutes(5)};
    // Another name prefix of this target's temporaries, swept the same way:
    // the names earlier builds left behind ("preferences.json.tmp-").
    std::string formerTemporaryPrefix{};
};

// One replacement of the file at `target` (absolute, no links, as for
// openFolderNoFollow). Until commit() succeeds, destroying it removes the
// temporary file and leaves any existing target exactly as it was.
class DurableFile {
public:
    // Opens the folder, refuses an existing target that is not a regular
    // file, removes stale temporaries and creates the temporary file.
    static Expected<DurableFile, FileFault> create(const std::filesystem::path& target, const DurableWriteOptions& options = {},
                                                   const FileSystemCalls& calls = FileSystemCalls::system());

    DurableFile(DurableFile&& other) noexcept;
    DurableFile& operator=(DurableFile&&) = delete;
    DurableFile(const DurableFile&) = delete;
    ~DurableFile();

    int fd() const { return fd_; }
    const std::string& temporaryName() const { return temporaryName_; }

    // Writes all of `bytes`, retrying interrupted and short writes.
    std::optional<FileFault> writeAll(std::string_view bytes);

    // Flushes the data to disk, gives the file the replaced file's mode and
    // (where allowed) owner, renames it over the target and flushes the
    // folder, so the new name survives a power cut. fsync is retried when a
    // signal interrupts it. When only the folder flush fails, the target
    // has been replaced but the fault is still returned: the caller must not
    // act as if the change were safe (delete what the old file named).
    std::optional<FileFault> commit();

private:
    DurableFile(const FileSystemCalls& calls, UniqueFd folder, std::string name, std::string temporaryName, int fd)
        : calls_(&calls), folder_(std::move(folder)), name_(std::move(name)), temporaryName_(std::move(temporaryName)),
          fd_(fd) {}
    void closeTemporary();
    std::optional<FileFault> syncFolder();

    const FileSystemCalls* calls_;
    UniqueFd folder_;
    std::string name_;
    std::string temporaryName_;
    int fd_ = -1;
    bool committed_ = false;
};

// The random part of temporary file names.
std::string randomFileSuffix();

// Removes the regular files in `folder` whose names start with one of
// `prefixes` and that were last modified more than `age` before now, in one
// pass over the folder. Best effort.
void removeStaleFiles(int folder, const std::vector<std::string>& prefixes, std::chrono::seconds age);

}  // namespace tessarin
