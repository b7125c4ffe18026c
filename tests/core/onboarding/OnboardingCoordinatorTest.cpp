#include "core/onboarding/OnboardingCoordinator.h"

#include <gtest/gtest.h>

#include "core/preferences/KeyValueStore.h"
#include "core/preferences/PreferencesTestSupport.h"
#include "core/shell/ShortcutRegistration.h"

namespace tessarin {
namespace {

using testing::FakeLoginItems;

struct OnboardingTest : ::testing::Test {
    InMemoryKeyValueStore store;
    FakeLoginItems loginItems;
    AppPreferences preferences{store, loginItems};
    KeyboardShortcuts shortcuts{store};
    int finished = 0;

    std::unique_ptr<OnboardingCoordinator> coordinator(OnboardingStep start) {
        return std::make_unique<OnboardingCoordinator>(
            OnboardingCoordinator::Services{store, preferences, shortcuts, [] { return true; }},
            start, [this] { ++finished; });
    }
    std::optional<int64_t> storedStep() const {
        const auto value = store.object(OnboardingKey::step);
        if (!value || !value->is_number_integer()) return std::nullopt;
        return value->get<int64_t>();
    }
};

TEST_F(OnboardingTest, ResumeStepAndCompletionReadOnlyValuesOfTheirType) {
    const struct { const char* name; std::optional<nlohmann::json> stored; OnboardingStep expected; } rows[] = {
        {"absent", std::nullopt, OnboardingStep::welcome},
        {"3", 3, OnboardingStep::disableSystemShortcuts},
        {"5", 5, OnboardingStep::ready},
        {"6", 6, OnboardingStep::welcome},
        {"-1", -1, OnboardingStep::welcome},
        {"2.5", 2.5, OnboardingStep::welcome},
        {"a string", "2", OnboardingStep::welcome},
        {"a Boolean", true, OnboardingStep::welcome},
    };
    for (const auto& [name, stored, expected] : rows) {
        SCOPED_TRACE(name);
        InMemoryKeyValueStore values;
        if (stored) values.set(OnboardingKey::step, *stored);
        EXPECT_EQ(resumeStep(values), expected);
    }
    // Completed only when stored as true.
    store.set(OnboardingKey::completed, "true");
    EXPECT_FALSE(onboardingCompleted(store));
    store.set(OnboardingKey::completed, true);
    EXPECT_TRUE(onboardingCompleted(store));
}

TEST_F(OnboardingTest, AdvanceWalksThePagesAndStoresEveryStep) {
    auto guide = coordinator(OnboardingStep::welcome);
    int changes = 0;
    auto subscription = guide->subscribe([&] { ++changes; });
    const OnboardingStep expected[] = {OnboardingStep::screenRecording, OnboardingStep::setDefault};
    for (const auto step : expected) {
        guide->advance();
        EXPECT_EQ(guide->step(), step);
        EXPECT_EQ(storedStep(), static_cast<int>(step));
    }
    guide->applyDefaultSetup(true);
    EXPECT_EQ(guide->step(), OnboardingStep::disableSystemShortcuts);
    guide->advance();
    EXPECT_EQ(guide->step(), OnboardingStep::tweak);
    guide->advance();
    EXPECT_EQ(guide->step(), OnboardingStep::ready);
    EXPECT_EQ(storedStep(), 5);
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(finished, 0);
    guide->advance();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(storedStep(), 0);
    EXPECT_TRUE(onboardingCompleted(store));
}

TEST_F(OnboardingTest, SettingTheSameStepStoresAndAnnouncesNothing) {
    auto guide = coordinator(OnboardingStep::tweak);
    int changes = 0;
    auto subscription = guide->subscribe([&] { ++changes; });
    guide->setStep(OnboardingStep::tweak);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(store.contains(OnboardingKey::step));
}

TEST_F(OnboardingTest, ClosingEarlyKeepsTheStepForTheNextStart) {
    {
        auto guide = coordinator(OnboardingStep::welcome);
        guide->advance();
        guide->advance();
    }  // the window closed without finishing
    EXPECT_EQ(resumeStep(store), OnboardingStep::setDefault);
    EXPECT_FALSE(onboardingCompleted(store));
}

TEST_F(OnboardingTest, YesAssignsTheDefaultsAndLaunchAtLogin) {
    shortcuts.setShortcut(ShortcutName::captureWindow, KeyCombination{KeyModifier::alt, "Print"});
    auto guide = coordinator(OnboardingStep::setDefault);
    guide->applyDefaultSetup(true);
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureFullScreen), ShortcutRegistration::fullScreenDefault());
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureArea), ShortcutRegistration::areaDefault());
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureWindow), (KeyCombination{KeyModifier::alt, "Print"}));
    EXPECT_TRUE(loginItems.enabled);
    EXPECT_TRUE(preferences.launchAtLogin());
    EXPECT_EQ(store.object(OnboardingKey::setAsDefault), nlohmann::json(true));
    EXPECT_EQ(store.object("hasSetDefaultShortcutsV3"), nlohmann::json(true));
    EXPECT_TRUE(guide->setAsDefaultChosen());
    EXPECT_EQ(guide->step(), OnboardingStep::disableSystemShortcuts);
}

TEST_F(OnboardingTest, NoClearsFullScreenAndAreaSettlesTheDefaultsAndSkipsTheConflictPage) {
    ShortcutRegistration::applySystemAlignedDefaults(shortcuts, store);
    store.remove("hasSetDefaultShortcutsV3");
    shortcuts.setShortcut(ShortcutName::captureScrolling, KeyCombination{KeyModifier::control, "s"});
    auto guide = coordinator(OnboardingStep::setDefault);
    guide->applyDefaultSetup(false);
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureFullScreen), std::nullopt);
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureArea), std::nullopt);
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureScrolling), (KeyCombination{KeyModifier::control, "s"}));
    EXPECT_TRUE(loginItems.requests.empty());
    EXPECT_EQ(store.object(OnboardingKey::setAsDefault), nlohmann::json(false));
    EXPECT_EQ(store.object("hasSetDefaultShortcutsV3"), nlohmann::json(true));
    EXPECT_EQ(guide->step(), OnboardingStep::tweak);
    // The next start assigns nothing.
    ShortcutRegistration::setDefaultShortcutsIfNeeded(shortcuts, store);
    EXPECT_EQ(shortcuts.shortcut(ShortcutName::captureArea), std::nullopt);
}

}  // namespace
}  // namespace tessarin
