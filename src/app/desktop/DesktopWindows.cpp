#include "app/desktop/DesktopWindows.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <cstdlib>

#include "core/common/AppInfo.h"
#include "app/desktop/OnboardingWindow.h"
#include "app/desktop/SettingsWindow.h"
#include "core/capture/CaptureHistoryStore.h"
#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/onboarding/SystemScreenshotShortcuts.h"
#include "platform/PlatformFactory.h"
#include "platform/gsettings/GioSettingsLookup.h"

namespace tessarin {
namespace {

QString qs(std::string_view text) { return QString::fromStdString(localized(text)); }

bool confirmClearHistory() {
    QMessageBox box(QMessageBox::Warning, qs("Clear History?"),
                    qs("Every item in the capture history will be removed, pinned ones too. This cannot be undone."));
    auto* clear = box.addButton(qs("Clear History"), QMessageBox::DestructiveRole);
    box.addButton(qs("Cancel"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == clear;
}

std::optional<ProgramCommand> desktopKeyboardSettings() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return keyboardSettingsCommand(desktop ? desktop : "", [](const std::string& program) {
        return !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
    });
}

}  // namespace

DesktopWindows::DesktopWindows(TessarinApp& app, KeyValueStore& store, const GlobalShortcutGrabber& keys,
                               bool shortcutsThroughDesktop, std::function<void()> relaunch)
    : app_(app), keys_(keys), shortcutsThroughDesktop_(shortcutsThroughDesktop) {
    const auto refusedOurKeys = [&center = app.shortcutCenter()] {
        return center.wasRefused(ShortcutName::captureArea) || center.wasRefused(ShortcutName::captureFullScreen);
    };
    guide_ = std::make_unique<OnboardingPresenter>(OnboardingServices{
        store, app.preferences(), app.shortcuts(), [this] { return screen().screenCaptureAccess().granted; },
        [refusedOurKeys] {
            return anyScreenshotShortcutEnabled({gioSettingsLookup(), defaultKdeShortcutsFile(), refusedOurKeys});
        },
        desktopKeyboardSettings(), std::move(relaunch), shortcutsThroughDesktop});
    app.appState().setHandler(MenuAction::openSettings, [this] {
        const std::string& requested = app_.appState().requestedSettingsTab();
        const auto tab = settingsTabFromRawValue(requested);
        if (!requested.empty() && !tab) {
            logLine(LogLevel::info, LogCategory::app, "settings.unknown_tab tab=" + requested);
        }
        settings().show(tab);
        logLine(LogLevel::info, LogCategory::app, "settings.shown tab=" + std::string(rawValue(settings().currentTab())));
    });
}

DesktopWindows::~DesktopWindows() = default;

void DesktopWindows::presentGuideIfNeeded() { guide_->presentIfNeeded(); }

ScreenBackend& DesktopWindows::screen() {
    if (!screen_) screen_ = makeScreenBackend();
    return *screen_;
}

SettingsWindow& DesktopWindows::settings() {
    if (settings_) return *settings_;
    settings_ = std::make_unique<SettingsWindow>(SettingsServices{
        app_.preferences(), app_.shortcuts(),
        [&center = app_.shortcutCenter()](ShortcutName name) { return center.problem(name); },
        [&keys = keys_](uint32_t keycode) { return keys.unshiftedKeyName(keycode); },
        [this] { return screen().syntheticInputAccess().granted; },
        [this] { guide_->show(OnboardingStep::welcome); }, confirmClearHistory,
        [&history = app_.history()] { history.clearAll(); }, AppInfo::shortVersion, AppInfo::buildNumber,
        shortcutsThroughDesktop_});
    return *settings_;
}

}  // namespace tessarin
