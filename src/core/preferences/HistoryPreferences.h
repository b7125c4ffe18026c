#pragma once
// The history's retention settings as the preferences hold them.

#include "core/capture/CaptureHistoryAdmission.h"
#include "core/preferences/AppPreferences.h"

namespace tessarin {

inline HistorySettings historySettings(const AppPreferences& preferences) {
    return {preferences.historyEnabled(), preferences.historyPaused(), preferences.historyMaxCount(),
            preferences.historyMaxAgeDays()};
}

// The stored format choice as written: PNG, or JPEG at quality 0.9.
inline ImageFormat imageFormat(ImageFormatPreference preference) {
    return preference == ImageFormatPreference::jpeg ? ImageFormat::jpeg(0.9) : ImageFormat::png();
}

}  // namespace tessarin
