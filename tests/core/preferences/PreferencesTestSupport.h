#pragma once
// A private home folder per test (HOME and XDG_CONFIG_HOME point into it, so
// nothing reaches the real user's configuration) and a log sink that keeps
// what was logged.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Log.h"

namespace tessarin::testing {

class TemporaryHome {
public:
    TemporaryHome() : savedHome_(get("HOME")), savedConfig_(get("XDG_CONFIG_HOME")) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessarin-prefs-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        ::setenv("HOME", root_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    ~TemporaryHome() {
        restore("HOME", savedHome_);
        restore("XDG_CONFIG_HOME", savedConfig_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path configFolder() const { return root_ / "config" / "io.tessarin.Tessarin"; }
    std::filesystem::path preferencesFile() const { return configFolder() / "preferences.json"; }

private:
    static std::optional<std::string> get(const char* name) {
        const char* value = ::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    std::optional<std::string> savedHome_;
    std::optional<std::string> savedConfig_;
    std::filesystem::path root_;
};

class CapturedLog final : public LogSink {
public:
    struct Line {
        LogLevel level;
        std::string category;
        std::string message;
    };
    CapturedLog() : previous_(setLogSink(this)) {}
    ~CapturedLog() override { setLogSink(previous_); }
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        lines.push_back({level, std::string(category), std::string(message)});
    }
    std::vector<Line> lines;

private:
    LogSink* previous_;
};

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0).read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

}  // namespace tessarin::testing
