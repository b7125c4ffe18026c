#pragma once
// The optional confinement of every path the agent reads or writes
// (TESSARIN_SANDBOX_ROOT), and the one set of path rules every command
// follows with or without it. Paths are judged by where they really lead
// (resolvePath: links resolved component by component, before ".."; a
// dangling link is followed), and then opened following no link at all
// (DurableFile.h), so a folder swapped for a link after the check cannot
// carry a read or write outside the root.

#include <filesystem>
#include <optional>
#include <string>

namespace tessarin::CLISandbox {

// TESSARIN_SANDBOX_ROOT when set and not empty.
std::optional<std::string> rootFromEnvironment();

// Component-wise prefix test (/tmp/boxer is not inside /tmp/box).
bool isPath(const std::filesystem::path& path, const std::filesystem::path& root);

// The resolved location of `value`, to be opened with the no-follow calls
// (ExportManager::writeResolvedImage, openRegularFileNoFollow). With a root,
// a location outside the resolved root, or one whose links cannot be
// resolved (a chain longer than the kernel follows, an unreadable link), is
// a sandbox violation for `flag` (named without dashes). Without a root an
// unresolvable value is refused all the same, with the kernel's reason.
std::filesystem::path validated(const std::optional<std::string>& root, const std::string& flag,
                                const std::string& value);

}  // namespace tessarin::CLISandbox
