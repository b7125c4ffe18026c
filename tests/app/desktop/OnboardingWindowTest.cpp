#include "app/desktop/OnboardingWindow.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/desktop/QtTestApplication.h"
#include "core/preferences/PreferencesTestSupport.h"

#include "core/shell/ShortcutRegistration.h"

namespace tessarin {
namespace {

struct OnboardingWindowTest : ::testing::Test {
    OnboardingWindowTest() { qtWidgetTestApplication(); }
    InMemoryKeyValueStore store;
    testing::FakeLoginItems loginItems;
    AppPreferences preferences{store, loginItems};
    KeyboardShortcuts shortcuts{store};
    bool systemKeysOn = true;
    int relaunches = 0;
    std::optional<ProgramCommand> keyboardSettings = ProgramCommand{"gnome-control-center", {"keyboard"}};
    bool throughDesktop = false;

    OnboardingServices services() {
        return {store,           preferences,
                shortcuts,       [] { return true; },
                [this] { return systemKeysOn; }, keyboardSettings,
                [this] { ++relaunches; },        throughDesktop};
    }
    static QString text(QWidget& window, const char* name) {
        auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<none>");
    }
    static void click(QWidget& window, const char* name) {
        auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    static QWidget* page(QWidget& window, OnboardingStep step) {
        return window.findChild<QWidget*>(QStringLiteral("onboarding.page.%1").arg(static_cast<int>(step)));
    }
};

// The pages' buttons walk the guide. What each answer stores is
// OnboardingCoordinatorTest's; the keys, the autostart entry and a next
// start without the guide are the guide session's walk-through.
TEST_F(OnboardingWindowTest, AFirstStartWalksEveryPage) {
    OnboardingPresenter presenter(services());
    presenter.presentIfNeeded();
    ASSERT_NE(presenter.window(), nullptr);
    QWidget& window = *presenter.window();
    click(window, "onboarding.button.Continue");
    QWidget* screen = page(window, OnboardingStep::screenRecording);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(text(*screen, "onboarding.screenStatus"), "Screen recording access granted");
    click(*screen, "onboarding.restart");
    EXPECT_EQ(relaunches, 1);
    click(*screen, "onboarding.button.Continue");
    click(*page(window, OnboardingStep::setDefault), "onboarding.button.Yes!");
    QWidget* conflicts = page(window, OnboardingStep::disableSystemShortcuts);
    ASSERT_NE(conflicts, nullptr);
    EXPECT_FALSE(conflicts->findChild<QWidget*>(QStringLiteral("onboarding.conflictWarning"))->isHidden());
    EXPECT_NE(conflicts->findChild<QPushButton*>(QStringLiteral("onboarding.openKeyboardSettings")), nullptr);
    click(*conflicts, "onboarding.button.Done");
    click(window, "onboarding.button.Continue");  // tweak
    QWidget* ready = page(window, OnboardingStep::ready);
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(text(*ready, "onboarding.shortcut.captureArea"), "Print");
    click(*ready, "onboarding.button.Start Using Tessarin");
    EXPECT_TRUE(window.isHidden());
    EXPECT_TRUE(onboardingCompleted(store));
}

TEST_F(OnboardingWindowTest, NoWarningWhenTheDesktopKeysAreOffAndNoButtonWithoutASettingsProgram) {
    systemKeysOn = false;
    keyboardSettings.reset();
    store.set(OnboardingKey::step, 3);
    OnboardingPresenter presenter(services());
    presenter.presentIfNeeded();
    QWidget* conflicts = page(*presenter.window(), OnboardingStep::disableSystemShortcuts);
    ASSERT_NE(conflicts, nullptr);
    EXPECT_TRUE(conflicts->findChild<QWidget*>(QStringLiteral("onboarding.conflictWarning"))->isHidden());
    EXPECT_EQ(conflicts->findChild<QPushButton*>(QStringLiteral("onboarding.openKeyboardSettings")), nullptr);
}

TEST_F(OnboardingWindowTest, ShowingAgainStartsAtWelcome) {
    store.set(OnboardingKey::step, 4);
    OnboardingPresenter presenter(services());
    presenter.presentIfNeeded();
    EXPECT_NE(page(*presenter.window(), OnboardingStep::tweak), nullptr);
    presenter.show(OnboardingStep::welcome);
    EXPECT_EQ(presenter.window()->coordinator().step(), OnboardingStep::welcome);
    EXPECT_EQ(store.object(OnboardingKey::step), nlohmann::json(0));
}

// Where the desktop binds keys itself, the last page says what to bind
// instead of listing keys that would do nothing.
TEST_F(OnboardingWindowTest, TheLastPageListsTheDesktopCommandsWhereKeysCannotBeTaken) {
    throughDesktop = true;
    OnboardingPresenter presenter(services());
    presenter.show(OnboardingStep::ready);
    QWidget* ready = page(*presenter.window(), OnboardingStep::ready);
    ASSERT_NE(ready, nullptr);
    EXPECT_EQ(text(*ready, "onboarding.shortcut.captureArea"), "<none>");
    EXPECT_EQ(text(*ready, "onboarding.desktopShortcut.captureArea"), "tessarin tessarin://capture-area");
    click(*ready, "onboarding.button.Start Using Tessarin");
    EXPECT_TRUE(onboardingCompleted(store));
}

}  // namespace
}  // namespace tessarin
