#pragma once
// The settings window's tabs and its back/forward history, as a browser
// keeps one: selecting a tab drops whatever lay ahead of the current entry
// and appends the tab; back and forward move along the list without
// recording the move again.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

// In sidebar order. The raw values are what links name ("tab=history").
enum class SettingsTab { general, screenshots, shortcuts, history, storage, about };

inline constexpr SettingsTab allSettingsTabs[] = {SettingsTab::general, SettingsTab::screenshots,
                                                  SettingsTab::shortcuts, SettingsTab::history,
                                                  SettingsTab::storage, SettingsTab::about};

std::string_view rawValue(SettingsTab tab);
// Exact, case-sensitive; nothing for an unknown name.
std::optional<SettingsTab> settingsTabFromRawValue(std::string_view text);
// The sidebar title, localised.
std::string settingsTabTitle(SettingsTab tab);

class SettingsNavigation {
public:
    explicit SettingsNavigation(SettingsTab first = SettingsTab::general);

    SettingsTab current() const { return history_[index_]; }
    // A selection made by the user or a link; selecting the current tab
    // records nothing.
    void select(SettingsTab tab);
    bool canGoBack() const { return index_ > 0; }
    bool canGoForward() const { return index_ + 1 < history_.size(); }
    // Nothing when there is no entry that way.
    std::optional<SettingsTab> back();
    std::optional<SettingsTab> forward();

    const std::vector<SettingsTab>& entries() const { return history_; }
    size_t index() const { return index_; }

private:
    std::vector<SettingsTab> history_;
    size_t index_ = 0;
};

}  // namespace tessarin
