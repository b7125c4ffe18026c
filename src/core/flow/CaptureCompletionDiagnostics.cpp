#include "core/flow/CaptureCompletionDiagnostics.h"

#include <algorithm>

#include "core/common/Log.h"

namespace tessarin {

namespace {
const char* text(bool value) { return value ? "true" : "false"; }
}  // namespace

void logCaptureLine(std::string_view captureID, std::string_view key, std::string_view message) {
    std::string line;
    line.reserve(captureID.size() + key.size() + message.size() + 4);
    line.append("[").append(captureID).append("] ").append(key).append(" ").append(message);
    logLine(LogLevel::info, LogCategory::capture, line);
}

std::string describeCompletionPolicy(const AppPreferencesSnapshot& snapshot) {
    return std::string("play_sound=") + text(snapshot.playSound) + " auto_copy=" + text(snapshot.autoCopyToClipboard) +
           " show_thumbnail=" + text(snapshot.showThumbnail) +
           " open_annotate=" + text(snapshot.openAnnotationEditorAfterCapture) +
           " format=" + std::string(rawValue(snapshot.defaultImageFormat));
}

long long elapsedMilliseconds(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point end) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count();
    return std::max<long long>(0, ms);
}

}  // namespace tessarin
