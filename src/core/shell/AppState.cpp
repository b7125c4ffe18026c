#include "core/shell/AppState.h"

#include <utility>

#include "core/common/Localization.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

// Indexed by the enumeration; they appear in logs that tests and scripts read.
constexpr std::string_view kMenuActionNames[] = {
    "installUpdate",  "captureAllInOne", "capturePreviousArea",   "captureFullScreen",
    "captureArea",    "captureWindow",   "captureScrolling",      "recordVideo",
    "openHistory",    "restoreRecentlyClosed", "openSettings",    "quit",
};
static_assert(std::size(kMenuActionNames) == static_cast<size_t>(MenuAction::quit) + 1);

size_t indexOf(MenuAction action) { return static_cast<size_t>(action); }

}  // namespace

std::string_view rawValue(MenuAction action) {
    const size_t index = indexOf(action);
    return index < std::size(kMenuActionNames) ? kMenuActionNames[index] : std::string_view{};
}

std::string_view rawValue(ActionSource source) {
    switch (source) {
        case ActionSource::menu: return "menu";
        case ActionSource::shortcut: return "shortcut";
        case ActionSource::link: return "link";
    }
    return {};
}

AppState::AppState(AppPreferences& preferences, AlertPresenter& alerts) : preferences_(preferences), alerts_(alerts) {
    static_assert(std::tuple_size_v<decltype(handlers_)> == std::size(kMenuActionNames));
}

void AppState::handleExternalURL(const std::string& url) {
    if (linkHandler_) {
        linkHandler_(url);
        return;
    }
    // Nobody understands links here, so none may run anything; say so
    // rather than drop it silently.
    alerts_.showWarning(localized("Unsupported URL"), localized("Tessarin cannot handle this URL."));
}

void AppState::perform(MenuAction action, ActionSource source) {
    const size_t index = indexOf(action);
    const bool handled = index < handlers_.size() && handlers_[index];
    logLine(LogLevel::info, LogCategory::capture,
            "action.dispatch action=" + std::string(rawValue(action)) + " source=" + std::string(rawValue(source)) +
                " handled=" + (handled ? "true" : "false"));
    if (!handled) return;
    // A copy: the handler may replace itself while it runs.
    const Handler handler = handlers_[index];
    handler();
}

void AppState::openSettings(std::string tab, ActionSource source) {
    requestedSettingsTab_ = std::move(tab);
    perform(MenuAction::openSettings, source);
    requestedSettingsTab_.clear();
}

void AppState::setHandler(MenuAction action, Handler handler) {
    const size_t index = indexOf(action);
    if (index < handlers_.size()) handlers_[index] = std::move(handler);
}

void AppState::setCapturing(bool value) {
    if (isCapturing_ == value) return;
    isCapturing_ = value;
    notify();
}

void AppState::setRecording(bool value) {
    if (isRecording_ == value) return;
    isRecording_ = value;
    notify();
}

Subscription AppState::subscribe(Observer observer) { return observers_.add(std::move(observer)); }

void AppState::notify() {
    observers_.notify([](const Observer& observer) { observer(); });
}

}  // namespace tessarin
