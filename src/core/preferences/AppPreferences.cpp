#include "core/preferences/AppPreferences.h"

#include <limits>
#include <string>
#include <vector>

#include "core/preferences/PreferenceKeys.h"
#include "core/preferences/StoredJson.h"

namespace tessarin {
namespace {

// Only a JSON Boolean counts; 0, 1 or "true" are someone else's mistake.
std::optional<bool> storedBool(const KeyValueStore& store, const char* key) {
    const auto value = store.object(key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

bool readBool(const KeyValueStore& store, const char* key, bool fallback) {
    return storedBool(store, key).value_or(fallback);
}

// Only a JSON integer counts; 5.0 and "5" read as the default.
int readInteger(const KeyValueStore& store, const char* key, int fallback, AppPreferences::Bounds bounds) {
    const auto value = store.object(key);
    if (!value || !value->is_number_integer()) return bounds.clamp(fallback);
    // Parsed non-negative integers are held unsigned; beyond int64 they are
    // simply above every bound.
    if (value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max())) {
        return bounds.upper;
    }
    return bounds.clamp(value->get<int64_t>());
}

template <class E>
E readRaw(const KeyValueStore& store, const char* key, E fallback) {
    const auto value = store.object(key);
    if (!value || !value->is_string()) return fallback;
    return fromRawValue<E>(value->get_ref<const std::string&>()).value_or(fallback);
}

CapturePreset decodePreset(const std::optional<nlohmann::json>& stored) {
    const auto json = storedJsonValue(stored);
    if (!json) return CapturePreset::freeform();
    auto preset = CapturePreset::fromJson(*json);
    return preset ? std::move(preset).value() : CapturePreset::freeform();
}

std::optional<StoredCaptureSelection> decodeSelection(const std::optional<nlohmann::json>& stored) {
    const auto json = storedJsonValue(stored);
    if (!json) return std::nullopt;
    auto selection = StoredCaptureSelection::fromJson(*json);
    if (!selection) return std::nullopt;
    return std::move(selection).value();
}

}  // namespace

int AppPreferences::Bounds::clamp(int64_t value) const {
    if (value <= lower) return lower;
    if (value > upper) return upper;
    return static_cast<int>(value);
}

AppPreferences::AppPreferences(KeyValueStore& store) : AppPreferences(store, noLoginItems_) {}

AppPreferences::AppPreferences(KeyValueStore& store, LoginItemService& loginItems)
    : store_(store), loginItems_(loginItems) {
    namespace Key = PreferenceKey;
    playSound_ = readBool(store_, Key::playSound, playSound_);
    autoCopyToClipboard_ = readBool(store_, Key::autoCopyToClipboard, autoCopyToClipboard_);
    showThumbnail_ = readBool(store_, Key::showThumbnail, showThumbnail_);
    hapticFeedbackEnabled_ = readBool(store_, Key::hapticFeedbackEnabled, hapticFeedbackEnabled_);
    launchAtLogin_ = loginItems_.isEnabled();
    openAnnotationEditorAfterCapture_ =
        readBool(store_, Key::openAnnotationEditorAfterCapture, openAnnotationEditorAfterCapture_);
    defaultImageFormat_ = readRaw(store_, Key::defaultImageFormat, defaultImageFormat_);
    lastAnnotationTool_ = readRaw(store_, Key::lastAnnotationTool, lastAnnotationTool_);
    capturePresetsEnabled_ = readBool(store_, Key::capturePresetsEnabled, capturePresetsEnabled_);
    capturePreset_ = decodePreset(store_.object(Key::capturePreset));

    // A selection left behind while remembering was off must not be replayed
    // later, so it is dropped from the store, not merely ignored.
    const auto remember = storedBool(store_, Key::rememberLastCaptureSelection);
    rememberLastCaptureSelection_ = remember.value_or(true);
    if (rememberLastCaptureSelection_) {
        lastCaptureSelection_ = decodeSelection(store_.object(Key::lastCaptureSelection));
    } else if (store_.object(Key::lastCaptureSelection)) {
        store_.remove(Key::lastCaptureSelection);
    }

    autoScrollDuringScrollingCapture_ =
        readBool(store_, Key::autoScrollDuringScrollingCapture, autoScrollDuringScrollingCapture_);
    freezeScreenDuringCapture_ = readBool(store_, Key::freezeScreenDuringCapture, freezeScreenDuringCapture_);
    selfTimerDurationSeconds_ =
        readInteger(store_, Key::selfTimerDurationSeconds, selfTimerDurationSeconds_, selfTimerBounds);
    quickAccessPosition_ = readRaw(store_, Key::quickAccessPosition, quickAccessPosition_);
    quickAccessMaxCount_ =
        readInteger(store_, Key::quickAccessMaxCount, quickAccessMaxCount_, quickAccessMaxCountBounds);
    confirmURLSchemeActions_ = readBool(store_, Key::confirmURLSchemeActions, confirmURLSchemeActions_);
    historyEnabled_ = readBool(store_, Key::historyEnabled, historyEnabled_);
    historyPaused_ = readBool(store_, Key::historyPaused, historyPaused_);
    historyMaxCount_ = readInteger(store_, Key::historyMaxCount, historyMaxCount_, historyMaxCountBounds);
    historyMaxAgeDays_ = readInteger(store_, Key::historyMaxAgeDays, historyMaxAgeDays_, historyMaxAgeDaysBounds);
}

void AppPreferences::store(const char* key, std::optional<nlohmann::json> value) {
    // A failed write is logged by the store and retried at its next write;
    // the setting still takes effect in this process.
    if (value) store_.set(key, *value);
    else store_.remove(key);
    notify(key);
}

void AppPreferences::notify(std::string_view key) {
    observers_.notify([key](const PreferenceObserver& observer) { observer(key); });
}

PreferenceSubscription AppPreferences::subscribe(PreferenceObserver observer) { return observers_.add(std::move(observer)); }

void AppPreferences::setPlaySound(bool value) {
    playSound_ = value;
    store(PreferenceKey::playSound, value);
}

void AppPreferences::setAutoCopyToClipboard(bool value) {
    autoCopyToClipboard_ = value;
    store(PreferenceKey::autoCopyToClipboard, value);
}

void AppPreferences::setShowThumbnail(bool value) {
    showThumbnail_ = value;
    store(PreferenceKey::showThumbnail, value);
}

void AppPreferences::setHapticFeedbackEnabled(bool value) {
    hapticFeedbackEnabled_ = value;
    store(PreferenceKey::hapticFeedbackEnabled, value);
}

void AppPreferences::setLaunchAtLogin(bool value) {
    if (value == launchAtLogin_) return;
    loginItems_.setEnabled(value);
    launchAtLogin_ = loginItems_.isEnabled();
    notify(PreferenceKey::launchAtLogin);
}

void AppPreferences::reloadLaunchAtLogin() {
    const bool enabled = loginItems_.isEnabled();
    if (enabled == launchAtLogin_) return;
    launchAtLogin_ = enabled;
    notify(PreferenceKey::launchAtLogin);
}

void AppPreferences::setOpenAnnotationEditorAfterCapture(bool value) {
    openAnnotationEditorAfterCapture_ = value;
    store(PreferenceKey::openAnnotationEditorAfterCapture, value);
}

void AppPreferences::setDefaultImageFormat(ImageFormatPreference value) {
    defaultImageFormat_ = value;
    store(PreferenceKey::defaultImageFormat, std::string(rawValue(value)));
}

void AppPreferences::setLastAnnotationTool(AnnotationToolType value) {
    lastAnnotationTool_ = value;
    store(PreferenceKey::lastAnnotationTool, std::string(rawValue(value)));
}

void AppPreferences::setCapturePresetsEnabled(bool value) {
    capturePresetsEnabled_ = value;
    store(PreferenceKey::capturePresetsEnabled, value);
}

void AppPreferences::setCapturePreset(CapturePreset value) {
    capturePreset_ = std::move(value);
    store(PreferenceKey::capturePreset, capturePreset_.toJson());
}

void AppPreferences::setLastCaptureSelection(std::optional<StoredCaptureSelection> value) {
    lastCaptureSelection_ = std::move(value);
    store(PreferenceKey::lastCaptureSelection,
          lastCaptureSelection_ ? std::optional(lastCaptureSelection_->toJson()) : std::nullopt);
}

void AppPreferences::setRememberLastCaptureSelection(bool value) {
    rememberLastCaptureSelection_ = value;
    store(PreferenceKey::rememberLastCaptureSelection, value);
    if (!value) setLastCaptureSelection(std::nullopt);
}

void AppPreferences::setAutoScrollDuringScrollingCapture(bool value) {
    autoScrollDuringScrollingCapture_ = value;
    store(PreferenceKey::autoScrollDuringScrollingCapture, value);
}

void AppPreferences::setFreezeScreenDuringCapture(bool value) {
    freezeScreenDuringCapture_ = value;
    store(PreferenceKey::freezeScreenDuringCapture, value);
}

void AppPreferences::setSelfTimerDurationSeconds(int64_t value) {
    selfTimerDurationSeconds_ = selfTimerBounds.clamp(value);
    store(PreferenceKey::selfTimerDurationSeconds, selfTimerDurationSeconds_);
}

void AppPreferences::setQuickAccessPosition(QuickAccessPosition value) {
    quickAccessPosition_ = value;
    store(PreferenceKey::quickAccessPosition, std::string(rawValue(value)));
}

void AppPreferences::setQuickAccessMaxCount(int64_t value) {
    quickAccessMaxCount_ = quickAccessMaxCountBounds.clamp(value);
    store(PreferenceKey::quickAccessMaxCount, quickAccessMaxCount_);
}

void AppPreferences::setConfirmURLSchemeActions(bool value) {
    confirmURLSchemeActions_ = value;
    store(PreferenceKey::confirmURLSchemeActions, value);
}

void AppPreferences::setHistoryEnabled(bool value) {
    historyEnabled_ = value;
    store(PreferenceKey::historyEnabled, value);
}

void AppPreferences::setHistoryPaused(bool value) {
    historyPaused_ = value;
    store(PreferenceKey::historyPaused, value);
}

void AppPreferences::setHistoryMaxCount(int64_t value) {
    historyMaxCount_ = historyMaxCountBounds.clamp(value);
    store(PreferenceKey::historyMaxCount, historyMaxCount_);
}

void AppPreferences::setHistoryMaxAgeDays(int64_t value) {
    historyMaxAgeDays_ = historyMaxAgeDaysBounds.clamp(value);
    store(PreferenceKey::historyMaxAgeDays, historyMaxAgeDays_);
}

AppPreferencesSnapshot AppPreferences::snapshot() const {
    return {playSound_, autoCopyToClipboard_, showThumbnail_, openAnnotationEditorAfterCapture_, defaultImageFormat_};
}

const std::optional<StoredCaptureSelection>& AppPreferences::reloadLastCaptureSelection() {
    auto fresh = rememberLastCaptureSelection_
                     ? decodeSelection(store_.reload(PreferenceKey::lastCaptureSelection))
                     : std::nullopt;
    if (fresh != lastCaptureSelection_) {
        lastCaptureSelection_ = std::move(fresh);
        notify(PreferenceKey::lastCaptureSelection);
    }
    return lastCaptureSelection_;
}

}  // namespace tessarin
