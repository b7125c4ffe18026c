#include "core/settings/SettingsNavigation.h"

#include "core/common/Localization.h"

namespace tessarin {

std::string_view rawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general: return "general";
        case SettingsTab::screenshots: return "screenshots";
        case SettingsTab::shortcuts: return "shortcuts";
        case SettingsTab::history: return "history";
        case SettingsTab::storage: return "storage";
        case SettingsTab::about: return "about";
    }
    return "general";
}

std::optional<SettingsTab> settingsTabFromRawValue(std::string_view text) {
    for (const SettingsTab tab : allSettingsTabs) {
        if (rawValue(tab) == text) return tab;
    }
    return std::nullopt;
}

std::string settingsTabTitle(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general: return localized("General");
        case SettingsTab::screenshots: return localized("Screenshots");
        case SettingsTab::shortcuts: return localized("Shortcuts");
        case SettingsTab::history: return localized("History");
        case SettingsTab::storage: return localized("Storage");
        case SettingsTab::about: return localized("About");
    }
    return {};
}

SettingsNavigation::SettingsNavigation(SettingsTab first) : history_{first} {}

void SettingsNavigation::select(SettingsTab tab) {
    if (tab == current()) return;
    history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(index_) + 1, history_.end());
    history_.push_back(tab);
    index_ = history_.size() - 1;
}

std::optional<SettingsTab> SettingsNavigation::back() {
    if (!canGoBack()) return std::nullopt;
    return history_[--index_];
}

std::optional<SettingsTab> SettingsNavigation::forward() {
    if (!canGoForward()) return std::nullopt;
    return history_[++index_];
}

}  // namespace tessarin
