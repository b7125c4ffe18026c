#include "core/onboarding/OnboardingCoordinator.h"

#include "core/shell/ShortcutRegistration.h"

namespace tessarin {

bool onboardingCompleted(const KeyValueStore& store) {
    const auto value = store.object(OnboardingKey::completed);
    return value && value->is_boolean() && value->get<bool>();
}

OnboardingStep resumeStep(const KeyValueStore& store) {
    const auto value = store.object(OnboardingKey::step);
    // A float, a string or a step from a newer release starts over.
    if (!value || !value->is_number_integer()) return OnboardingStep::welcome;
    const auto raw = value->get<int64_t>();
    if (raw < 0 || raw > static_cast<int64_t>(OnboardingStep::ready)) return OnboardingStep::welcome;
    return static_cast<OnboardingStep>(raw);
}

OnboardingCoordinator::OnboardingCoordinator(Services services, OnboardingStep start, std::function<void()> onFinish)
    : services_(std::move(services)), step_(start), onFinish_(std::move(onFinish)) {
    refreshScreenRecordingStatus();
}

void OnboardingCoordinator::setStep(OnboardingStep step) {
    if (step == step_) return;
    step_ = step;
    services_.store.set(OnboardingKey::step, static_cast<int>(step));
    notify();
}

void OnboardingCoordinator::advance() {
    switch (step_) {
        case OnboardingStep::welcome: return setStep(OnboardingStep::screenRecording);
        case OnboardingStep::screenRecording: return setStep(OnboardingStep::setDefault);
        case OnboardingStep::setDefault:
            return setStep(setAsDefaultChosen_ ? OnboardingStep::disableSystemShortcuts : OnboardingStep::tweak);
        case OnboardingStep::disableSystemShortcuts: return setStep(OnboardingStep::tweak);
        case OnboardingStep::tweak: return setStep(OnboardingStep::ready);
        case OnboardingStep::ready: return finish();
    }
}

void OnboardingCoordinator::finish() {
    services_.store.set(OnboardingKey::completed, true);
    services_.store.set(OnboardingKey::step, 0);
    if (onFinish_) onFinish_();
}

void OnboardingCoordinator::requestScreenRecording() {
    didRequestPermission_ = true;
    // There is nothing to ask for on X11: reading the root window either
    // works or the display is not there at all.
    refreshScreenRecordingStatus();
    notify();
}

void OnboardingCoordinator::refreshScreenRecordingStatus() {
    const bool granted = services_.screenAccessGranted && services_.screenAccessGranted();
    if (granted == screenRecordingGranted_) return;
    screenRecordingGranted_ = granted;
    notify();
}

void OnboardingCoordinator::applyDefaultSetup(bool yes) {
    setAsDefaultChosen_ = yes;
    services_.store.set(OnboardingKey::setAsDefault, yes);
    if (yes) {
        ShortcutRegistration::applySystemAlignedDefaults(services_.shortcuts, services_.store);
        // The entry may have gone since the preferences read it.
        services_.preferences.reloadLaunchAtLogin();
        services_.preferences.setLaunchAtLogin(true);
    } else {
        services_.shortcuts.setShortcut(ShortcutName::captureFullScreen, std::nullopt);
        services_.shortcuts.setShortcut(ShortcutName::captureArea, std::nullopt);
        services_.store.set(std::string(ShortcutRegistration::defaultsAppliedKey), true);
    }
    advance();
}

Subscription OnboardingCoordinator::subscribe(Observer observer) { return observers_.add(std::move(observer)); }

void OnboardingCoordinator::notify() {
    observers_.notify([](const Observer& observer) { observer(); });
}

}  // namespace tessarin
