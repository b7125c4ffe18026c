#include "core/shell/DesktopShortcutLinks.h"

#include <gtest/gtest.h>

#include <set>

#include "core/automation/TessarinURLCommand.h"
#include "core/shell/StatusBarMenu.h"

namespace tessarin {
namespace {

using Kind = TessarinURLCommand::Kind;

TEST(DesktopShortcutLinksTest, EveryNamesLinkRunsItsOwnAction) {
    const struct {
        ShortcutName name;
        Kind kind;
    } rows[] = {
        {ShortcutName::captureArea, Kind::captureArea},
        {ShortcutName::captureFullScreen, Kind::captureFullscreen},
        {ShortcutName::captureAllInOne, Kind::allInOne},
        {ShortcutName::capturePreviousArea, Kind::capturePreviousArea},
        {ShortcutName::captureScrolling, Kind::scrollingCapture},
        {ShortcutName::captureWindow, Kind::captureWindow},
        {ShortcutName::recordVideo, Kind::recordScreen},
    };
    ASSERT_EQ(std::size(rows), allShortcutNames.size());
    for (const auto& row : rows) {
        const auto command = TessarinURLCommand::parse(shortcutLink(row.name));
        ASSERT_TRUE(command) << shortcutLink(row.name);
        EXPECT_EQ(command->kind, row.kind) << rawValue(row.name);
        // Only the action: no region or output that would skip the overlay or the person's settings.
        EXPECT_FALSE(command->region) << rawValue(row.name);
        EXPECT_FALSE(command->action) << rawValue(row.name);
    }
}

TEST(DesktopShortcutLinksTest, OneBindingPerNameInTheSettingsOrder) {
    const auto bindings = desktopShortcutBindings();
    ASSERT_EQ(bindings.size(), allShortcutNames.size());
    std::set<std::string> commands;
    for (size_t i = 0; i < bindings.size(); ++i) {
        EXPECT_EQ(bindings[i].name, allShortcutNames[i]);
        EXPECT_EQ(bindings[i].title, menuTitle(menuActionOf(allShortcutNames[i])));
        EXPECT_EQ(bindings[i].command, "tessarin " + std::string(shortcutLink(allShortcutNames[i])));
        commands.insert(bindings[i].command);
    }
    EXPECT_EQ(commands.size(), bindings.size()) << "two names share a command";
}

}  // namespace
}  // namespace tessarin
