#include "core/shell/TessarinApp.h"

#include "core/capture/BackgroundImageWriter.h"
#include "core/capture/CaptureHistoryStore.h"
#include "core/common/Log.h"
#include "core/shell/ShortcutRegistration.h"

namespace tessarin {

TessarinApp::TessarinApp(DesktopPlatform platform) : platform_(std::move(platform)) {
    KeyValueStore& store = platform_.preferencesStore;
    // The preferences must read migrated values, so the migrations run first.
    PreferencesMigrator::run(store, PreferencesMigrator::migrations(platform_.displayFrame));
    preferences_ = std::make_unique<AppPreferences>(store, platform_.loginItems);
    appState_ = std::make_unique<AppState>(*preferences_, platform_.alerts);

    shortcuts_ = std::make_unique<KeyboardShortcuts>(store);
    ShortcutRegistration::setDefaultShortcutsIfNeeded(*shortcuts_, store);
    shortcutCenter_ = std::make_unique<GlobalShortcutCenter>(
        *shortcuts_, platform_.grabber, [this](ShortcutName name) { appState_->performShortcut(name); });
    shortcutCenter_->registerAll();

    imageWriter_ = std::make_unique<BackgroundImageWriter>(platform_.background, platform_.main);
    history_ = std::make_unique<CaptureHistoryStore>(CaptureHistoryStore::defaultDirectory(platform_.dataFolder / "History"),
                                                     platform_.main, platform_.background, *imageWriter_);
}

TessarinApp::~TessarinApp() {
    // Stops the history while everything it may call back into still
    // exists: a quit in flight then finishes, reporting `false`.
    if (history_) history_->shutdown();
    if (shortcutCenter_) shortcutCenter_->releaseAll();
}

void TessarinApp::start() {
    history_->prune(preferences_->historyMaxCount(), preferences_->historyMaxAgeDays());
    links_.install([this](const std::string& link) { appState_->handleExternalURL(link); });
}

void TessarinApp::quit(std::function<void(bool written)> done) {
    if (quitOutcome_) {
        if (done) done(*quitOutcome_);
        return;
    }
    quitWaiters_.push_back(std::move(done));
    if (quitting_) return;
    quitting_ = true;
    logLine(LogLevel::info, LogCategory::app, "app.quit step=begin");
    shortcutCenter_->releaseAll();
    history_->whenIdle([this](bool historyWritten) { finishQuit(historyWritten); });
}

void TessarinApp::finishQuit(bool historyWritten) {
    history_->shutdown();
    const bool preferencesWritten = platform_.preferencesStore.synchronize();
    const bool written = historyWritten && preferencesWritten;
    logLine(LogLevel::info, LogCategory::app,
            std::string("app.quit step=done history_written=") + (historyWritten ? "true" : "false") +
                " preferences_written=" + (preferencesWritten ? "true" : "false"));
    quitOutcome_ = written;
    auto waiters = std::move(quitWaiters_);
    quitWaiters_.clear();
    for (auto& done : waiters) {
        if (done) done(written);
    }
}

std::vector<MenuRow> TessarinApp::menuRows() const { return statusBarMenuRows(*shortcuts_, false); }

}  // namespace tessarin
