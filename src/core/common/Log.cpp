#include "core/common/Log.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "core/common/AppInfo.h"

namespace tessarin {
namespace {

class JournalSink final : public LogSink {
public:
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        std::call_once(opened_, [] { openlog(AppInfo::appId, LOG_PID, LOG_USER); });
        const int priority = level == LogLevel::error ? LOG_ERR : level == LogLevel::info ? LOG_INFO : LOG_DEBUG;
        syslog(priority, "[%.*s] %.*s", static_cast<int>(category.size()), category.data(),
               static_cast<int>(message.size()), message.data());
        if (mirrorToStderr) {
            std::fprintf(stderr, "%s [%.*s] %.*s\n", AppInfo::appId, static_cast<int>(category.size()),
                         category.data(), static_cast<int>(message.size()), message.data());
        }
    }
    std::atomic<bool> mirrorToStderr = false;

private:
    std::once_flag opened_;
};

JournalSink& journal() {
    static JournalSink sink;
    return sink;
}

// Recursive: a sink may log while it writes.
std::recursive_mutex sinkMutex;
LogSink* currentSink = nullptr;

}  // namespace

void logLine(LogLevel level, std::string_view category, std::string_view message) {
    std::lock_guard lock(sinkMutex);
    (currentSink ? *currentSink : static_cast<LogSink&>(journal())).write(level, category, message);
}

ScopedLogSink::ScopedLogSink(LogSink& sink) {
    std::lock_guard lock(sinkMutex);
    previous_ = std::exchange(currentSink, &sink);
}

ScopedLogSink::~ScopedLogSink() {
    std::lock_guard lock(sinkMutex);
    currentSink = previous_;
}

void configureLoggingFromEnvironment() {
    const char* value = std::getenv("TESSARIN_LOG");
    journal().mirrorToStderr = value && std::string_view(value) == "stderr";
}

}  // namespace tessarin
