#include "core/settings/SettingsNavigation.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

using T = SettingsTab;

TEST(SettingsNavigationTest, TabsReadTheirRawValuesExactly) {
    for (const T tab : allSettingsTabs) EXPECT_EQ(settingsTabFromRawValue(rawValue(tab)), tab);
    EXPECT_EQ(settingsTabFromRawValue("History"), std::nullopt);
    EXPECT_EQ(settingsTabFromRawValue(""), std::nullopt);
}

TEST(SettingsNavigationTest, BackAndForwardMoveWithoutRecordingAndANewSelectionDropsWhatLayAhead) {
    SettingsNavigation navigation;
    EXPECT_FALSE(navigation.back());
    navigation.select(T::history);  // a link asks for History while General shows
    EXPECT_EQ(navigation.back(), T::general);
    EXPECT_EQ(navigation.forward(), T::history);
    EXPECT_FALSE(navigation.forward());

    navigation.select(T::shortcuts);
    navigation.select(T::about);
    EXPECT_EQ(navigation.back(), T::shortcuts);
    EXPECT_EQ(navigation.back(), T::history);
    navigation.select(T::storage);
    EXPECT_EQ(navigation.entries(), (std::vector<T>{T::general, T::history, T::storage}));
    EXPECT_FALSE(navigation.canGoForward());
    navigation.select(T::storage);  // the current tab again
    EXPECT_EQ(navigation.entries().size(), 3u);
    EXPECT_EQ(navigation.index(), 2u);
}

}  // namespace
}  // namespace tessarin
