#pragma once
// Where a path really leads. Every path the agent and the stores write or
// read is first resolved here, then opened component by component without
// following links (DurableFile.h), so the two agree: the file touched is the
// file that was judged.

#include <filesystem>

#include "core/common/Expected.h"

namespace tessarin {

// Most symbolic links followed while resolving one path; the kernel's own limit.
inline constexpr int kMaxLinkHops = 40;

// `path` made absolute against the current directory, with every existing
// component's symbolic link resolved (a dangling link counts as existing and
// is followed), and "." and ".." applied in order, ".." after the links
// before it. Components that do not exist yet are appended as written, so
// "new/../x" is "x" and no "new" is ever made. A trailing slash stays, so a
// name that denotes a folder is still seen as one. The result contains no
// link and no "." or "..".
//
// Fails with the errno the kernel would give: ELOOP for links nested deeper
// than kMaxLinkHops, or the error of a link that could not be read. A path
// the kernel itself would resolve differently is never returned.
Expected<std::filesystem::path, int> resolvePath(const std::filesystem::path& path);

// True when `path` ends in a slash, "." or "..": it names a folder, not a file.
bool namesFolder(const std::filesystem::path& path);

}  // namespace tessarin
