#pragma once
// The user's configuration and data folders as the XDG base directories
// define them: $XDG_CONFIG_HOME and $XDG_DATA_HOME when they are absolute
// paths, else ~/.config and ~/.local/share. Without an absolute HOME to
// fall back on there is no folder, and the error says so.

#include <filesystem>
#include <functional>
#include <string>

#include "core/common/Expected.h"

namespace tessarin {

using EnvironmentLookup = std::function<const char*(const char* name)>;
EnvironmentLookup processEnvironment();

Expected<std::filesystem::path, std::string> configHome(const EnvironmentLookup& environment = processEnvironment());
Expected<std::filesystem::path, std::string> dataHome(const EnvironmentLookup& environment = processEnvironment());

}  // namespace tessarin
