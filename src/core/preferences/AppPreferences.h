#pragma once
// Every user setting, read from the key-value store once at construction and
// handed back to it by each setter (the store decides when the disk sees
// it: WriteBehindStore keeps the main thread off the disk). Stored values of
// the wrong type or out of range never fail: each falls back to its default
// or is clamped.
//
// Used on one thread (the application's main thread, or the agent's). Views
// learn of changes through subscribe(); the observer gets the changed key.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "core/annotation/AnnotationToolType.h"
#include "core/capture/CapturePreset.h"
#include "core/capture/StoredCaptureSelection.h"
#include "core/common/ObserverList.h"
#include "core/preferences/KeyValueStore.h"
#include "core/preferences/LoginItemService.h"
#include "core/preferences/PreferenceValues.h"

namespace tessarin {

// What capture completion reads once per capture, so a setting changed
// half-way through a capture does not mix two policies.
struct AppPreferencesSnapshot {
    bool playSound = true;
    bool autoCopyToClipboard = false;
    bool showThumbnail = true;
    bool openAnnotationEditorAfterCapture = false;
    ImageFormatPreference defaultImageFormat = ImageFormatPreference::png;
    friend bool operator==(const AppPreferencesSnapshot&, const AppPreferencesSnapshot&) = default;
};

// Ends an observation when destroyed or reset; safe to outlive the
// preferences it observes.
using PreferenceSubscription = Subscription;
using PreferenceObserver = std::function<void(std::string_view key)>;

class AppPreferences {
public:
    struct Bounds {
        int lower;
        int upper;
        int clamp(int64_t value) const;
    };
    static constexpr Bounds selfTimerBounds{1, 60};
    static constexpr Bounds quickAccessMaxCountBounds{1, 5};
    static constexpr Bounds historyMaxCountBounds{1, 500};
    static constexpr Bounds historyMaxAgeDaysBounds{1, 365};

    // Without a login-item service, launch at login reads as off.
    explicit AppPreferences(KeyValueStore& store);
    AppPreferences(KeyValueStore& store, LoginItemService& loginItems);

    AppPreferences(const AppPreferences&) = delete;
    AppPreferences& operator=(const AppPreferences&) = delete;

    bool playSound() const { return playSound_; }
    bool autoCopyToClipboard() const { return autoCopyToClipboard_; }
    bool showThumbnail() const { return showThumbnail_; }
    bool hapticFeedbackEnabled() const { return hapticFeedbackEnabled_; }
    bool launchAtLogin() const { return launchAtLogin_; }
    bool openAnnotationEditorAfterCapture() const { return openAnnotationEditorAfterCapture_; }
    ImageFormatPreference defaultImageFormat() const { return defaultImageFormat_; }
    AnnotationToolType lastAnnotationTool() const { return lastAnnotationTool_; }
    bool capturePresetsEnabled() const { return capturePresetsEnabled_; }
    const CapturePreset& capturePreset() const { return capturePreset_; }
    const std::optional<StoredCaptureSelection>& lastCaptureSelection() const { return lastCaptureSelection_; }
    bool rememberLastCaptureSelection() const { return rememberLastCaptureSelection_; }
    bool autoScrollDuringScrollingCapture() const { return autoScrollDuringScrollingCapture_; }
    bool freezeScreenDuringCapture() const { return freezeScreenDuringCapture_; }
    int selfTimerDurationSeconds() const { return selfTimerDurationSeconds_; }
    QuickAccessPosition quickAccessPosition() const { return quickAccessPosition_; }
    int quickAccessMaxCount() const { return quickAccessMaxCount_; }
    bool confirmURLSchemeActions() const { return confirmURLSchemeActions_; }
    bool historyEnabled() const { return historyEnabled_; }
    bool historyPaused() const { return historyPaused_; }
    int historyMaxCount() const { return historyMaxCount_; }
    int historyMaxAgeDays() const { return historyMaxAgeDays_; }

    void setPlaySound(bool value);
    void setAutoCopyToClipboard(bool value);
    void setShowThumbnail(bool value);
    void setHapticFeedbackEnabled(bool value);
    // Registers or unregisters the login item when the value changes; the
    // property then shows what the service reports, so a refused
    // registration does not leave the switch on.
    void setLaunchAtLogin(bool value);
    // Asks the login-item service again (the user may have removed the
    // autostart entry); observers hear of a change.
    void reloadLaunchAtLogin();
    void setOpenAnnotationEditorAfterCapture(bool value);
    void setDefaultImageFormat(ImageFormatPreference value);
    void setLastAnnotationTool(AnnotationToolType value);
    void setCapturePresetsEnabled(bool value);
    void setCapturePreset(CapturePreset value);
    // An absent value removes the stored selection. Callers store a
    // selection only when rememberLastCaptureSelection() is on.
    void setLastCaptureSelection(std::optional<StoredCaptureSelection> value);
    // Turning it off also forgets the stored selection.
    void setRememberLastCaptureSelection(bool value);
    void setAutoScrollDuringScrollingCapture(bool value);
    void setFreezeScreenDuringCapture(bool value);
    // Integer setters clamp and store the clamped value.
    void setSelfTimerDurationSeconds(int64_t value);
    void setQuickAccessPosition(QuickAccessPosition value);
    void setQuickAccessMaxCount(int64_t value);
    void setConfirmURLSchemeActions(bool value);
    void setHistoryEnabled(bool value);
    void setHistoryPaused(bool value);
    void setHistoryMaxCount(int64_t value);
    void setHistoryMaxAgeDays(int64_t value);

    AppPreferencesSnapshot snapshot() const;

    // Reads the previous selection again from the store, for replaying it:
    // the agent may have captured an area since these preferences were
    // built. None while rememberLastCaptureSelection() is off.
    const std::optional<StoredCaptureSelection>& reloadLastCaptureSelection();

    // An observer removed (its subscription reset) while a change is being
    // announced is not called from then on.
    [[nodiscard]] PreferenceSubscription subscribe(PreferenceObserver observer);

private:
    void store(const char* key, std::optional<nlohmann::json> value);
    void notify(std::string_view key);

    KeyValueStore& store_;
    NullLoginItemService noLoginItems_;
    LoginItemService& loginItems_;
    ObserverList<PreferenceObserver> observers_;

    // The initial values are the defaults: construction falls back to them.
    bool playSound_ = true;
    bool autoCopyToClipboard_ = false;
    bool showThumbnail_ = true;
    bool hapticFeedbackEnabled_ = true;
    bool launchAtLogin_ = false;
    bool openAnnotationEditorAfterCapture_ = false;
    ImageFormatPreference defaultImageFormat_ = ImageFormatPreference::png;
    AnnotationToolType lastAnnotationTool_ = AnnotationToolType::freehand;
    bool capturePresetsEnabled_ = true;
    CapturePreset capturePreset_ = CapturePreset::freeform();
    std::optional<StoredCaptureSelection> lastCaptureSelection_;
    bool rememberLastCaptureSelection_ = true;
    bool autoScrollDuringScrollingCapture_ = true;
    bool freezeScreenDuringCapture_ = true;
    int selfTimerDurationSeconds_ = 5;
    QuickAccessPosition quickAccessPosition_ = QuickAccessPosition::bottomRight;
    int quickAccessMaxCount_ = 5;
    bool confirmURLSchemeActions_ = false;
    bool historyEnabled_ = true;
    bool historyPaused_ = false;
    int historyMaxCount_ = 50;
    int historyMaxAgeDays_ = 30;
};

}  // namespace tessarin
