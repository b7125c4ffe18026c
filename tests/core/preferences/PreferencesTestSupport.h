#pragma once
// A private home folder per test (HOME and XDG_CONFIG_HOME point into it, so
// nothing reaches the real user's configuration) and a log sink that keeps
// what was logged.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/common/Log.h"
#include "core/preferences/JsonFileStore.h"
#include "support/TempDir.h"

namespace tessarin::testing {

// Sets an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class TemporaryHome {
public:
    const std::filesystem::path& root() const { return dir_.path(); }
    std::filesystem::path configFolder() const { return dir_ / "config/io.tessarin.Tessarin"; }
    std::filesystem::path preferencesFile() const { return configFolder() / "preferences.json"; }

private:
    TempDir dir_;
    ScopedEnvironment home_{"HOME", dir_.path().string()};
    ScopedEnvironment config_{"XDG_CONFIG_HOME", (dir_ / "config").string()};
};

struct CapturedLog final : LogSink {
    struct Line {
        LogLevel level;
        std::string category, message;
    };
    std::vector<Line> lines;
    LogSink* previous = setLogSink(this);
    ~CapturedLog() override { setLogSink(previous); }
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        lines.push_back({level, std::string(category), std::string(message)});
    }
};

// Durability is not under test where a test writes many times, and fsync
// would only slow it.
inline StoreSyscalls withoutFsync() {
    StoreSyscalls calls = StoreSyscalls::posix();
    calls.fsync = [](int) { return 0; };
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
