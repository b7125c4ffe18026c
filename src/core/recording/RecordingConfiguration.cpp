#include "core/recording/RecordingConfiguration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/common/DatePattern.h"
#include "core/common/Localization.h"

namespace tessarin {

std::string generateRecordingFilename(const std::tm& localTime) {
    return localized("Recording") + " " + formatDate(localized("yyyy-MM-dd 'at' HH.mm.ss"), localTime) + ".mov";
}

std::string generateRecordingFilename(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    return generateRecordingFilename(local);
}

std::string recordingClockText(double elapsedSeconds) {
    // Beyond a day of minutes the text only has to stay well-formed.
    const double clamped = std::isfinite(elapsedSeconds) ? std::clamp(elapsedSeconds, 0.0, 1e9) : 0.0;
    const auto whole = static_cast<long long>(std::floor(clamped));
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace tessarin
