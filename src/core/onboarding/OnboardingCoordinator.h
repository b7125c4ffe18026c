#pragma once
// The first-run guide's step machine. Its progress lives in the preference
// store under its own keys, so a restart resumes where the user left:
//   "onboardingCompletedV1"  Bool  finished; never shown again
//   "onboardingStepV1"       Int   step to resume at (0 after finishing)
//   "onboardingSetAsDefaultV1" Bool  the answer to "Set as default…?"
// The pages are views over this class; it decides every transition.
//
// Main thread.

#include <functional>
#include <optional>

#include "core/common/ObserverList.h"
#include "core/preferences/AppPreferences.h"
#include "core/preferences/KeyValueStore.h"
#include "core/shell/KeyboardShortcuts.h"

namespace tessarin {

// Persisted as integers; append only.
enum class OnboardingStep {
    welcome = 0,
    screenRecording = 1,
    setDefault = 2,
    disableSystemShortcuts = 3,
    tweak = 4,
    ready = 5,
};

namespace OnboardingKey {
inline constexpr const char* completed = "onboardingCompletedV1";
inline constexpr const char* step = "onboardingStepV1";
inline constexpr const char* setAsDefault = "onboardingSetAsDefaultV1";
}  // namespace OnboardingKey

// Whether the guide still has to be shown at start.
bool onboardingCompleted(const KeyValueStore& store);
// The stored step, or welcome when it is absent, not an integer or not a step.
OnboardingStep resumeStep(const KeyValueStore& store);

class OnboardingCoordinator {
public:
    struct Services {
        KeyValueStore& store;
        AppPreferences& preferences;  // launch at login
        KeyboardShortcuts& shortcuts;
        // Whether the screen can be read now (X11: the display is open).
        std::function<bool()> screenAccessGranted;
    };
    using Observer = std::function<void()>;

    OnboardingCoordinator(Services services, OnboardingStep start, std::function<void()> onFinish);
    OnboardingCoordinator(const OnboardingCoordinator&) = delete;
    OnboardingCoordinator& operator=(const OnboardingCoordinator&) = delete;

    OnboardingStep step() const { return step_; }
    // Stores the step and tells the observers when it changes.
    void setStep(OnboardingStep step);
    bool screenRecordingGranted() const { return screenRecordingGranted_; }
    bool didRequestPermission() const { return didRequestPermission_; }
    bool setAsDefaultChosen() const { return setAsDefaultChosen_; }

    // To the following page; from `ready` it finishes.
    void advance();
    // Marks the guide completed, resets the stored step and calls onFinish.
    void finish();
    void requestScreenRecording();
    // Reads the screen access again (the page polls while it is shown).
    void refreshScreenRecordingStatus();
    // Yes: the system-aligned default shortcuts and launch at login. No:
    // Full Screen and Area cleared, defaults settled so they are not
    // assigned later. Then advances.
    void applyDefaultSetup(bool yes);

    [[nodiscard]] Subscription subscribe(Observer observer);

private:
    void notify();

    Services services_;
    OnboardingStep step_;
    bool screenRecordingGranted_ = false;
    bool didRequestPermission_ = false;
    bool setAsDefaultChosen_ = false;
    std::function<void()> onFinish_;
    ObserverList<Observer> observers_;
};

}  // namespace tessarin
