#include "core/common/XdgBaseFolders.h"

#include <cstdlib>

namespace tessarin {
namespace {

namespace fs = std::filesystem;

Expected<fs::path, std::string> baseFolder(const EnvironmentLookup& environment, const char* variable,
                                           const fs::path& underHome) {
    if (const char* value = environment(variable); value && value[0] == '/') return fs::path(value);
    if (const char* home = environment("HOME"); home && home[0] == '/') return fs::path(home) / underHome;
    return unexpected(std::string("no home folder: HOME is not set to an absolute path"));
}

}  // namespace

EnvironmentLookup processEnvironment() {
    return [](const char* name) -> const char* { return std::getenv(name); };
}

Expected<fs::path, std::string> configHome(const EnvironmentLookup& environment) {
    return baseFolder(environment, "XDG_CONFIG_HOME", ".config");
}

Expected<fs::path, std::string> dataHome(const EnvironmentLookup& environment) {
    return baseFolder(environment, "XDG_DATA_HOME", fs::path(".local") / "share");
}

}  // namespace tessarin
