#pragma once
// The desktop application without its windows: what starts, in which order,
// and what is done at quit. The Qt module supplies the platform (the key
// grabber, the alert dialog, the executors, the stores' folders) and draws
// the tray from menuRows(); everything it decides lives here.
//
// Start-up, in order (constructor):
//   1. the one-shot preference migrations;
//   2. the preferences over the store;
//   3. the application state;
//   4. the coordinator: the default shortcuts once per installation, the
//      global shortcuts, the menu rows, the history store.
// start(), once the event loop runs: prune the history by the retention
// settings and hand queued links to the application state (later also:
// restore pins). The desktop module offers the first-run guide after it.
// quit(): release the grabs, let the history's pending writes finish,
// write the preferences; then the owner stops the executors. Runs once.
// Destroying the application before quit() has finished cancels it: its
// waiters hear `false`.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Executor.h"
#include "core/preferences/AppPreferences.h"
#include "core/preferences/KeyValueStore.h"
#include "core/preferences/LoginItemService.h"
#include "core/preferences/PreferencesMigrator.h"
#include "core/shell/AppState.h"
#include "core/shell/GlobalShortcutCenter.h"
#include "core/shell/KeyboardShortcuts.h"
#include "core/shell/LinkInbox.h"
#include "core/shell/StatusBarMenu.h"
#include "platform/GlobalShortcutGrabber.h"

namespace tessarin {

class CaptureHistoryStore;
class BackgroundImageWriter;

struct DesktopPlatform {
    KeyValueStore& preferencesStore;  // written behind; synchronize() at quit
    LoginItemService& loginItems;
    GlobalShortcutGrabber& grabber;
    AlertPresenter& alerts;
    Executor& main;
    Executor& background;
    // The history folder's parent: $XDG_DATA_HOME/io.tessarin.Tessarin.
    std::filesystem::path dataFolder;
    PreferencesMigrator::DisplayFrameLookup displayFrame;
};

class TessarinApp {
public:
    explicit TessarinApp(DesktopPlatform platform);
    ~TessarinApp();
    TessarinApp(const TessarinApp&) = delete;
    TessarinApp& operator=(const TessarinApp&) = delete;

    void start();
    // Called (maybe more than once) on the main thread before the event
    // loop ends; `done` runs once everything is written, with whether it
    // all reached the disk (at once when a quit has already finished).
    void quit(std::function<void(bool written)> done);

    AppPreferences& preferences() { return *preferences_; }
    AppState& appState() { return *appState_; }
    KeyboardShortcuts& shortcuts() { return *shortcuts_; }
    GlobalShortcutCenter& shortcutCenter() { return *shortcutCenter_; }
    LinkInbox& links() { return links_; }
    CaptureHistoryStore& history() { return *history_; }
    BackgroundImageWriter& imageWriter() { return *imageWriter_; }
    // The store under the preferences, for values of our own windows (frames).
    KeyValueStore& preferencesStore() { return platform_.preferencesStore; }
    std::vector<MenuRow> menuRows() const;

private:
    DesktopPlatform platform_;
    std::unique_ptr<AppPreferences> preferences_;
    std::unique_ptr<AppState> appState_;
    std::unique_ptr<KeyboardShortcuts> shortcuts_;
    std::unique_ptr<GlobalShortcutCenter> shortcutCenter_;
    std::unique_ptr<BackgroundImageWriter> imageWriter_;
    std::unique_ptr<CaptureHistoryStore> history_;
    LinkInbox links_;
    bool quitting_ = false;
    std::vector<std::function<void(bool)>> quitWaiters_;
    std::optional<bool> quitOutcome_;  // once quit() has finished
    void finishQuit(bool historyWritten);
};

}  // namespace tessarin
