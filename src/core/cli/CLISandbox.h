#pragma once
// The optional confinement of every path the agent reads or writes
// (TESSARIN_SANDBOX_ROOT). Paths are judged by where they really lead:
// symbolic links are resolved component by component, before "..", and a
// link counts as existing even when it dangles, so neither a dangling link
// nor "dirlink/.." can carry a write outside the root.

#include <filesystem>
#include <optional>
#include <string>

namespace tessarin::CLISandbox {

// TESSARIN_SANDBOX_ROOT when set and not empty.
std::optional<std::string> rootFromEnvironment();

// `path` made absolute against the current directory, with every existing
// component's symbolic links resolved and "." and ".." applied in order; the
// components that do not exist yet are appended as written.
std::filesystem::path resolvedPath(const std::string& path);

// Component-wise prefix test (/tmp/boxer is not inside /tmp/box).
bool isPath(const std::filesystem::path& path, const std::filesystem::path& root);

// With no root: `value` made absolute, nothing else. With a root: the
// resolved path when it lies inside the resolved root; otherwise throws the
// sandbox violation for `flag` (named without dashes).
std::filesystem::path validated(const std::optional<std::string>& root, const std::string& flag,
                                const std::string& value);

}  // namespace tessarin::CLISandbox
