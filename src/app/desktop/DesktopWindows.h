#pragma once
// The settings window and the first-run guide in the desktop application:
// what they are given from the application (the preferences, shortcuts,
// the shortcut centre's reasons, the history, the screen back end for
// access checks, the desktop's own shortcut settings) and when they open:
// the settings on the openSettings action (the tray row, Ctrl+, and links,
// with the tab a link names), the guide at start until it is finished.

#include <functional>
#include <memory>

#include "core/preferences/KeyValueStore.h"
#include "core/shell/TessarinApp.h"

namespace tessarin {

class SettingsWindow;
class OnboardingPresenter;
class ScreenBackend;

class DesktopWindows {
public:
    // `relaunch` quits in order and starts the program again.
    // `keys` names keys for the shortcut recorder.
    // `shortcutsThroughDesktop`: the desktop gives applications no global
    // shortcuts, so the settings and the guide explain binding our links.
    DesktopWindows(TessarinApp& app, KeyValueStore& store, const GlobalShortcutGrabber& keys,
                   bool shortcutsThroughDesktop, std::function<void()> relaunch);
    ~DesktopWindows();
    DesktopWindows(const DesktopWindows&) = delete;
    DesktopWindows& operator=(const DesktopWindows&) = delete;

    // Once the event loop runs.
    void presentGuideIfNeeded();

private:
    SettingsWindow& settings();
    ScreenBackend& screen();

    TessarinApp& app_;
    const GlobalShortcutGrabber& keys_;
    bool shortcutsThroughDesktop_;
    std::unique_ptr<ScreenBackend> screen_;
    std::unique_ptr<OnboardingPresenter> guide_;
    std::unique_ptr<SettingsWindow> settings_;
};

}  // namespace tessarin
