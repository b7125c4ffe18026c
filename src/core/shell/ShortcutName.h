#pragma once
// The seven global shortcuts the application registers, by name. The raw
// values name them in the preferences and in logs.

#include <array>
#include <optional>
#include <string_view>

namespace tessarin {

enum class ShortcutName {
    captureArea,
    captureFullScreen,
    captureAllInOne,
    capturePreviousArea,
    captureScrolling,
    captureWindow,
    recordVideo,
};

inline constexpr std::array<ShortcutName, 7> allShortcutNames{
    ShortcutName::captureArea,      ShortcutName::captureFullScreen, ShortcutName::captureAllInOne,
    ShortcutName::capturePreviousArea, ShortcutName::captureScrolling, ShortcutName::captureWindow,
    ShortcutName::recordVideo,
};

std::string_view rawValue(ShortcutName name);  // "captureArea", …
std::optional<ShortcutName> shortcutNameFromRawValue(std::string_view text);

}  // namespace tessarin
