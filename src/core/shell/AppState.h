#pragma once
// The application's shared state and its one entry point for actions: the
// tray menu, the global shortcuts and (later) links all run an action
// through perform(), so each trigger behaves the same.
//
// A feature not present in this build logs the action and does nothing
// visible; a feature registers its body with setHandler().
//
// Main thread.

#include <array>
#include <functional>
#include <string>

#include "core/common/ObserverList.h"
#include "core/preferences/AppPreferences.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {

// Shows a warning to the person at the screen (a dialog in the desktop
// application). Does not wait for it to be dismissed.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void showWarning(const std::string& title, const std::string& message) = 0;
};

enum class ActionSource { menu, shortcut, link };

std::string_view rawValue(MenuAction action);  // "captureArea", "openSettings", …
std::string_view rawValue(ActionSource source);  // "menu", "shortcut", "link"

class AppState {
public:
    using Handler = std::function<void()>;
    using Observer = std::function<void()>;

    AppState(AppPreferences& preferences, AlertPresenter& alerts);
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    AppPreferences& preferences() { return preferences_; }

    // A link from outside, for the link handler. Without one, every link
    // shows the warning "Unsupported URL" / "Tessarin cannot handle this URL.".
    void handleExternalURL(const std::string& url);
    using LinkHandler = std::function<void(const std::string& url)>;
    void setLinkHandler(LinkHandler handler) { linkHandler_ = std::move(handler); }

    // Logs "action.dispatch action=<raw> source=<raw> handled=<true|false>"
    // and runs the action's handler when one is registered.
    void perform(MenuAction action, ActionSource source);
    void performShortcut(ShortcutName name) { perform(menuActionOf(name), ActionSource::shortcut); }
    void setHandler(MenuAction action, Handler handler);
    // Opens the settings at a tab (its raw value, "history"; empty keeps
    // the tab shown): the openSettings handler reads requestedSettingsTab()
    // while it runs.
    void openSettings(std::string tab, ActionSource source);
    const std::string& requestedSettingsTab() const { return requestedSettingsTab_; }

    // A capture-like activity owns the screen; the tray shows it.
    bool isCapturing() const { return isCapturing_; }
    bool isRecording() const { return isRecording_; }
    void setCapturing(bool value);
    void setRecording(bool value);
    [[nodiscard]] Subscription subscribe(Observer observer);

private:
    void notify();

    AppPreferences& preferences_;
    AlertPresenter& alerts_;
    std::array<Handler, 12> handlers_{};
    LinkHandler linkHandler_;
    bool isCapturing_ = false;
    bool isRecording_ = false;
    std::string requestedSettingsTab_;
    ObserverList<Observer> observers_;
};

}  // namespace tessarin
