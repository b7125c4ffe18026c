#include "core/shell/ShortcutName.h"

#include <utility>

namespace tessarin {
namespace {

// Stored in the preferences: never rename a value.
constexpr std::pair<ShortcutName, std::string_view> kRawValues[] = {
    {ShortcutName::captureArea, "captureArea"},
    {ShortcutName::captureFullScreen, "captureFullScreen"},
    {ShortcutName::captureAllInOne, "captureAllInOne"},
    {ShortcutName::capturePreviousArea, "capturePreviousArea"},
    {ShortcutName::captureScrolling, "captureScrolling"},
    {ShortcutName::captureWindow, "captureWindow"},
    {ShortcutName::recordVideo, "recordVideo"},
};

}  // namespace

std::string_view rawValue(ShortcutName name) {
    for (const auto& [known, text] : kRawValues) {
        if (known == name) return text;
    }
    return {};
}

std::optional<ShortcutName> shortcutNameFromRawValue(std::string_view text) {
    for (const auto& [known, knownText] : kRawValues) {
        if (knownText == text) return known;
    }
    return std::nullopt;
}

}  // namespace tessarin
