#pragma once
// A private home folder per test, a log sink that keeps what was logged and
// a login-item service that remembers what it was asked.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/common/Log.h"
#include "core/preferences/JsonFileStore.h"
#include "core/preferences/LoginItemService.h"
#include "support/TempDir.h"

namespace tessarin::testing {

// HOME and XDG_CONFIG_HOME point into the folder, and are left there when it
// goes, so nothing in this process reaches the real user's configuration.
class TemporaryHome {
public:
    TemporaryHome() {
        ::setenv("HOME", dir_.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }
    const std::filesystem::path& root() const { return dir_.path(); }
    std::filesystem::path configFolder() const { return dir_ / "config/io.tessarin.Tessarin"; }
    std::filesystem::path preferencesFile() const { return configFolder() / "preferences.json"; }

private:
    TempDir dir_;
};

struct CapturedLog final : LogSink {
    struct Line {
        LogLevel level;
        std::string category, message;
    };
    std::vector<Line> lines;
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        lines.push_back({level, std::string(category), std::string(message)});
    }
    ScopedLogSink installed{*this};  // last: uninstalled first
};

// The registration as a desktop would keep it; `refuses` leaves it as it is.
struct FakeLoginItems final : LoginItemService {
    bool enabled = false, refuses = false;
    std::vector<bool> requests;  // every change asked for
    bool isEnabled() override { return enabled; }
    void setEnabled(bool value) override { requests.push_back(value), enabled = refuses ? enabled : value; }
};

// Durability is not under test where a test writes many times, and fsync
// would only slow it.
inline const FileSystemCalls& withoutFsync() {
    static const FileSystemCalls calls{.fsync = [](int) { return 0; }};
    return calls;
}

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    return bytes.str();
}

}  // namespace tessarin::testing
