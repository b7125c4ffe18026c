#pragma once
// The first-run guide's window: 600 × 600, one page per step of
// OnboardingCoordinator, rebuilt whenever the step changes. Pages are views:
// every button calls the coordinator.
//
// OnboardingPresenter owns the one guide window: presentIfNeeded() at start
// shows it unless the guide was finished, resuming at the stored step;
// "Show Setup Guide Again" shows it at the first step.

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "core/onboarding/KeyboardSettingsCommand.h"
#include "core/onboarding/OnboardingCoordinator.h"

namespace tessarin {

struct OnboardingServices {
    KeyValueStore& store;
    AppPreferences& preferences;
    KeyboardShortcuts& shortcuts;
    std::function<bool()> screenAccessGranted;
    // The desktop's own screenshot keys are still on (or cannot be read).
    std::function<bool()> systemShortcutsEnabled;
    // "Open Keyboard Settings"; none hides the button.
    std::optional<ProgramCommand> keyboardSettings;
    std::function<void()> relaunch;
    // The desktop binds our links to its own keys: the last page says how.
    bool shortcutsThroughDesktop = false;
};

class OnboardingWindow final : public QWidget {
public:
    OnboardingWindow(OnboardingServices services, OnboardingStep start, std::function<void()> onFinish);
    ~OnboardingWindow() override;

    OnboardingCoordinator& coordinator() { return coordinator_; }
    // The page shown, rebuilt from the coordinator.
    void showPage();

protected:
    // Return presses the page's last footer button (Continue, Yes!, Done…).
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* header(std::string_view title, std::string_view subtitle);
    void addFooter(QVBoxLayout* layout, std::vector<std::pair<std::string_view, std::function<void()>>> buttons);
    QWidget* welcomePage();
    QWidget* screenRecordingPage();
    QWidget* setDefaultPage();
    QWidget* disableSystemShortcutsPage();
    QWidget* tweakPage();
    QWidget* readyPage();
    void refreshConflictWarning();

    OnboardingServices services_;
    OnboardingCoordinator coordinator_;
    QVBoxLayout* layout_;
    QWidget* page_ = nullptr;
    QWidget* conflictWarning_ = nullptr;
    QLabel* screenStatus_ = nullptr;
    QPushButton* primary_ = nullptr;
    bool conflictWarningLogged_ = false;
    QTimer poll_;  // runs while a page that follows the system is shown
    Subscription subscription_;
};

class OnboardingPresenter {
public:
    explicit OnboardingPresenter(OnboardingServices services);
    ~OnboardingPresenter();

    void presentIfNeeded();
    void show(OnboardingStep start);
    OnboardingWindow* window() { return window_.get(); }

private:
    OnboardingServices services_;
    std::unique_ptr<OnboardingWindow> window_;
};

}  // namespace tessarin
