#pragma once
// Whole-file documents the application keeps for itself (the preferences,
// the history and pin indexes): one capped reader, one atomic writer and one
// way of keeping an unusable file for a person, all through FileSystemCalls.
//
// A path is resolved first (PathResolution.h), so a document kept as a link
// (dotfiles) is read and written through to the file it names, and the link
// stays a link. Writes go through DurableFile: a hidden temporary
// ".<name>.tmp-XXXXXX" beside the target, fsynced, renamed over it, the
// folder fsynced; stale temporaries of the same target are swept when a
// write starts. Documents shared between processes are changed under the
// caller's lock file; every call here that changes the folder expects the
// caller to hold it.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/common/DurableFile.h"

namespace tessarin {

// What reading a document found.
struct FileRead {
    enum class Kind {
        missing,   // no file (or no folder): an empty document
        text,      // the bytes, not yet judged by the caller
        unusable,  // will not read by trying again: too large, not a regular file, not permitted
        failed,    // might read later (I/O error, out of descriptors): keep the file, write nothing over it
    };
    Kind kind = Kind::missing;
    std::string text;
    std::string reason;  // for unusable and failed, a sentence ("larger than 4194304 bytes")

    // Whether `later` still shows what this read judged unusable: the same
    // bytes, or unusable again.
    bool sameProblemAs(const FileRead& later) const;
};

// Reads the regular file at `path`, refusing one over `maxBytes`.
FileRead readCappedFile(const std::filesystem::path& path, size_t maxBytes,
                        const FileSystemCalls& calls = FileSystemCalls::system());

// Replaces the file at `path` with `bytes` through DurableFile; the target
// is the resolved path, so a link there is written through.
std::optional<FileFault> replaceFileContents(const std::filesystem::path& path, std::string_view bytes,
                                             const DurableWriteOptions& options = {},
                                             const FileSystemCalls& calls = FileSystemCalls::system());

// Moves the file at `path` (a link there itself, not what it names) to
// "<name>.corrupt-<UTC time>" beside it, "-1", "-2", ... when that is taken,
// so nothing is lost and the next write starts a fresh document. It is read
// again first and moved only while it still shows what `judged` found: a
// file another process repaired or already moved is left alone, so one
// damaged file is set aside once. Logs what happened with `reason`.
// Returns the new path.
std::optional<std::filesystem::path> setAsideUnusableFile(const std::filesystem::path& path, const FileRead& judged,
                                                          std::string_view reason, size_t maxBytes,
                                                          const FileSystemCalls& calls = FileSystemCalls::system());

// Whether a copy of `path` set aside earlier is still waiting for a person.
bool hasSetAsideCopy(const std::filesystem::path& path);

}  // namespace tessarin
