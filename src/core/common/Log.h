#pragma once
// Diagnostics and storage log lines. They go to the system journal through
// syslog(3) under the application id, with the category at the start of the
// message; TESSARIN_LOG=stderr mirrors them to standard error for debugging.
// Tests install their own sink (ScopedLogSink) to read what was logged.

#include <string>
#include <string_view>

namespace tessarin {

enum class LogLevel { debug, info, error };

namespace LogCategory {
inline constexpr std::string_view capture = "Capture";
inline constexpr std::string_view storage = "Storage";
inline constexpr std::string_view preferencesMigrator = "PreferencesMigrator";
inline constexpr std::string_view loginItem = "LoginItem";
// The desktop application's own life: start, single instance, shortcuts, quit.
inline constexpr std::string_view app = "App";
}  // namespace LogCategory

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, std::string_view category, std::string_view message) = 0;
};

void logLine(LogLevel level, std::string_view category, std::string_view message);

// Sends this process's log lines to `sink` for the life of the object,
// then to whatever received them before. Lines are written one at a time
// under one lock, so once the destructor returns no thread is still inside
// `sink` or can reach it. (A loadable module has its own copy of this
// state: its lines go to the system journal.)
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink& sink);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink* previous_;
};

// Reads TESSARIN_LOG once at start-up ("stderr" mirrors every line there).
void configureLoggingFromEnvironment();

}  // namespace tessarin
