#pragma once
// The keys of the preference store. They are shared with every installed
// release and with the agent, so they never change; a setting whose meaning
// changes gets a new key with a version suffix.

namespace tessarin::PreferenceKey {

inline constexpr const char* playSound = "playSound";
inline constexpr const char* autoCopyToClipboard = "autoCopyToClipboard";
inline constexpr const char* showThumbnail = "showThumbnail";
inline constexpr const char* hapticFeedbackEnabled = "hapticFeedbackEnabled";
// Not stored: the login-item registration is the truth. Used as the name in
// change notifications only.
inline constexpr const char* launchAtLogin = "launchAtLogin";
inline constexpr const char* openAnnotationEditorAfterCapture = "openAnnotationEditorAfterCapture";
inline constexpr const char* defaultImageFormat = "defaultImageFormat";
inline constexpr const char* lastAnnotationTool = "lastAnnotationTool";
inline constexpr const char* capturePresetsEnabled = "capturePresetsEnabled";
inline constexpr const char* capturePreset = "capturePreset";
inline constexpr const char* lastCaptureSelection = "lastCaptureSelection";
inline constexpr const char* rememberLastCaptureSelection = "rememberLastCaptureSelection";
inline constexpr const char* autoScrollDuringScrollingCapture = "autoScrollDuringScrollingCapture";
inline constexpr const char* freezeScreenDuringCapture = "freezeScreenDuringCapture";
inline constexpr const char* selfTimerDurationSeconds = "selfTimerDurationSeconds";
inline constexpr const char* quickAccessPosition = "quickAccessPosition";
inline constexpr const char* quickAccessMaxCount = "quickAccessMaxCount";
inline constexpr const char* confirmURLSchemeActions = "confirmURLSchemeActions";
inline constexpr const char* historyEnabled = "historyEnabled";
inline constexpr const char* historyPaused = "historyPaused";
inline constexpr const char* historyMaxCount = "historyMaxCount";
inline constexpr const char* historyMaxAgeDays = "historyMaxAgeDays";

inline constexpr const char* appliedPreferenceMigrations = "appliedPreferenceMigrations";

}  // namespace tessarin::PreferenceKey
