#pragma once
// The settings window: a sidebar of six tabs, back and forward buttons, and
// one pane per tab whose controls are built from the tables of
// core/settings/SettingsControls.h. A control writes its preference the
// moment it changes (and only then: filling the controls writes nothing);
// a change made elsewhere (the tray, a link, the guide) shows at once.
//
// One window for the life of the application, created on first use and
// kept when closed.

#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/settings/SettingsControls.h"
#include "core/settings/SettingsNavigation.h"
#include "core/shell/KeyboardShortcuts.h"

namespace tessarin {

class ShortcutRecorderButton;

struct SettingsServices {
    AppPreferences& preferences;
    KeyboardShortcuts& shortcuts;
    // Why a shortcut does not work now (empty when it does).
    std::function<std::string(ShortcutName)> shortcutProblem;
    // What a key types unshifted, by its hardware code ("1" for the "!"
    // key); empty when unknown (the recorder then reads Qt's key).
    std::function<std::string(uint32_t keycode)> unshiftedKeyName;
    // XTEST: whether Tessarin can scroll other windows.
    std::function<bool()> syntheticInputGranted;
    std::function<void()> showSetupGuide;
    // Asks the person first; true to go ahead.
    std::function<bool()> confirmClearHistory;
    std::function<void()> clearHistory;
    std::string version;  // "1.2.0"
    std::string build;    // may be empty
    // The desktop binds our links to its own keys (no global shortcuts
    // for applications): the shortcut section says how.
    bool shortcutsThroughDesktop = false;
};

class SettingsWindow final : public QWidget {
public:
    explicit SettingsWindow(SettingsServices services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Selects the tab (recorded in the history), raises and activates.
    void show(std::optional<SettingsTab> tab);
    SettingsTab currentTab() const { return navigation_.current(); }
    void goBack();
    void goForward();

    // Reads every control again from the preferences, writing nothing.
    void refreshControls();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildPane(SettingsTab tab);
    void addToggles(SettingsTab tab, std::string_view section, QVBoxLayout* layout);
    void addSteppers(SettingsTab tab, std::string_view section, QVBoxLayout* layout);
    void addPickers(SettingsTab tab, std::string_view section, QVBoxLayout* layout);
    void addSection(SettingsTab tab, std::string_view section, QVBoxLayout* layout);
    void addShortcutRows(QVBoxLayout* layout);
    void addAbout(QVBoxLayout* layout);
    void selectWithoutRecording(SettingsTab tab);
    void refreshNavigationButtons();

    SettingsServices services_;
    SettingsNavigation navigation_;
    QListWidget* sidebar_;
    QStackedWidget* panes_;
    QToolButton* back_;
    QToolButton* forward_;
    QLabel* accessibilityStatus_ = nullptr;
    std::vector<std::function<void()>> refreshers_;  // one per control
    std::vector<ShortcutRecorderButton*> recorders_;
    Subscription preferencesSubscription_;
    Subscription shortcutsSubscription_;
    bool navigating_ = false;
};

}  // namespace tessarin
