// File names of saved images, the Desktop folder and temporary drag files.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/capture/ExportManager.h"
#include "core/capture/Uuid.h"
#include "core/common/Localization.h"
#include "core/common/PosixFiles.h"
#include "core/common/Log.h"

namespace tessarin::ExportManager {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxUniqueAttempts = 10000;
constexpr auto kDragFileLifetime = std::chrono::seconds(86400);

ExportError fileSystemError(const std::string& what, const fs::path& path, int error) {
    return ExportError::fileSystem(what + " " + path.string() + ": " + errnoText(error), error);
}

bool absolutePath(const char* value) { return value && value[0] == '/'; }

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs file: a double-quoted
// "$HOME/..." or absolute path. Nothing when the line is missing or odd.
std::optional<fs::path> desktopFromUserDirs(const fs::path& file, const fs::path& home) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 15, "XDG_DESKTOP_DIR") != 0) continue;
        size_t i = line.find_first_not_of(" \t", start + 15);
        if (i == std::string::npos || line[i] != '=') continue;
        i = line.find_first_not_of(" \t", i + 1);
        if (i == std::string::npos || line[i] != '"') continue;
        std::string value;
        bool closed = false;
        for (++i; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                value += line[++i];
            } else if (line[i] == '"') {
                closed = true;
                break;
            } else {
                value += line[i];
            }
        }
        if (!closed) continue;
        if (value == "$HOME" || value.starts_with("$HOME/")) {
            const fs::path below = fs::path(value.substr(5)).relative_path();
            return below.empty() ? home : home / below;
        }
        if (value.starts_with("/")) return fs::path(value);
    }
    return std::nullopt;
}

}  // namespace

std::string generateFilename(ImageFormat format, std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    return localized("Screenshot") + " " + formatDate(localized("yyyy-MM-dd 'at' HH.mm.ss"), local) + "." +
           std::string(format.fileExtension());
}

fs::path uniqueURL(const std::string& filename, const fs::path& directory) {
    const fs::path name(filename);
    const std::string extension = name.has_extension() ? name.extension().string().substr(1) : "";
    const std::string base = name.stem().string();
    for (int n = 1; n <= kMaxUniqueAttempts; ++n) {
        const std::string candidate =
            n == 1 ? filename : base + " (" + std::to_string(n) + ")" + (extension.empty() ? "" : "." + extension);
        const fs::path path = directory / candidate;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST && errno != EINTR) throw fileSystemError("Cannot create", path, errno);
    }
    throw fileSystemError("No free file name for", directory / filename, EEXIST);
}

fs::path desktopDirectory(const EnvironmentLookup& environment) {
    const char* home = environment("HOME");
    if (!absolutePath(home)) throw ExportError::cannotLocateDesktop();
    // HOME is absolute here, so there is always a configuration folder.
    const fs::path configFolder = *configHome(environment);
    const fs::path desktop = desktopFromUserDirs(configFolder / "user-dirs.dirs", home).value_or(fs::path(home) / "Desktop");
    std::error_code error;
    fs::create_directories(desktop, error);
    if (error) throw fileSystemError("Cannot create folder", desktop, error.value());
    return desktop;
}

fs::path temporaryDragDirectory(const fs::path& temporaryRoot) {
    const fs::path folder = temporaryRoot / ("tessarin-drags-" + std::to_string(::getuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throw fileSystemError("Cannot create folder", folder, errno);
    // The temporary folder is shared by every user: only a real folder of
    // ours that nobody else can write into is used.
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) throw fileSystemError("Cannot use folder", folder, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
        throw fileSystemError("Cannot use folder", folder, EPERM);
    }
    return folder;
}

fs::path prepareTemporaryDragImageURL(ImageFormat format, const fs::path& temporaryRoot,
                                      std::chrono::system_clock::time_point now) {
    const fs::path folder = temporaryDragDirectory(temporaryRoot);
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        const auto modified = std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec);
        if (now - modified > kDragFileLifetime && ::unlink(it->path().c_str()) != 0) {
            logLine(LogLevel::error, LogCategory::storage,
                    "remove failed at " + it->path().string() + ": " + errnoText(errno));
        }
    }
    const std::string name = generateFilename(format, now);
    const std::string base = fs::path(name).stem().string();
    return folder / (base + " " + newUUIDString().substr(0, 8) + "." + std::string(format.fileExtension()));
}

}  // namespace tessarin::ExportManager
