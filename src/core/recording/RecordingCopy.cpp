#include "core/recording/RecordingCopy.h"

#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <system_error>

namespace tessarin {

namespace fs = std::filesystem;

namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string randomHex() {
    std::random_device device;
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        text += part;
    }
    return text;
}

}  // namespace

fs::path temporaryCopyPath(const fs::path& destination) {
    return destination.parent_path() / ("." + destination.filename().string() + ".tessarin-" + randomHex());
}

std::optional<std::string> copyRecordingSafely(const fs::path& source, const fs::path& destination) {
    if (sameFile(source, destination)) return std::nullopt;
    const fs::path temporary = temporaryCopyPath(destination);
    std::error_code error;
    fs::copy_file(source, temporary, fs::copy_options::none, error);
    if (!error) fs::rename(temporary, destination, error);
    if (!error) return std::nullopt;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return error.message();
}

}  // namespace tessarin
