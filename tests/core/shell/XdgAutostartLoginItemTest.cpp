#include "core/shell/XdgAutostartLoginItem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

using testing::readFile;
using testing::writeFile;

struct AutostartTest : ::testing::Test {
    testing::TempDir dir;
    std::filesystem::path folder = dir / "config/autostart";
    std::filesystem::path entry = folder / XdgAutostartLoginItem::entryName;
};

TEST_F(AutostartTest, EnableWritesAnEntryThatReadsBackAndDisableRemovesIt) {
    testing::CapturedLog log;
    XdgAutostartLoginItem item(folder, "/usr/bin/tessarin");
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    const std::string text = readFile(entry);
    EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << text;
    item.setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(entry));
    item.setEnabled(false);  // nothing to remove is no failure
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(AutostartTest, ExecQuotesWhatTheDesktopWouldSplitOrExpand) {
    const struct { const char* program; const char* exec; } rows[] = {
        {"/usr/bin/tessarin", "Exec=/usr/bin/tessarin"},
        {"/opt/My Apps/tessarin", "Exec=\"/opt/My Apps/tessarin\""},
        {"/opt/100%/tessarin", "Exec=/opt/100%%/tessarin"},
        {"/tmp/a$b\"c`d", "Exec=\"/tmp/a\\\\$b\\\\\"c\\\\`d\""},
        {"/tmp/back\\slash", "Exec=\"/tmp/back\\\\\\\\slash\""},
        {"/tmp/new\nline", "Exec=\"/tmp/new\\nline\""},
    };
    for (const auto& [program, exec] : rows) {
        SCOPED_TRACE(program);
        const std::string text = XdgAutostartLoginItem::entryText(program);
        EXPECT_NE(text.find(std::string("\n") + exec + "\n"), std::string::npos) << text;
        XdgAutostartLoginItem item(folder, program);
        item.setEnabled(true);
        EXPECT_TRUE(item.isEnabled());
        EXPECT_EQ(XdgAutostartLoginItem(folder, "/usr/bin/tessarin").isEnabled(),
                  std::string(program) == "/usr/bin/tessarin");
    }
}

TEST_F(AutostartTest, AnEntrySwitchedOffOrNamingAnotherProgramReadsAsDisabled) {
    const std::string ours = "[Desktop Entry]\nType=Application\nExec=/usr/bin/tessarin\n";
    const struct { const char* name; std::string text; bool enabled; } rows[] = {
        {"ours", ours, true},
        {"spaces around the equals sign", "[Desktop Entry]\nExec = /usr/bin/tessarin %u\n", true},
        {"Hidden", ours + "Hidden=true\n", false},
        {"switched off in GNOME", ours + "X-GNOME-Autostart-enabled=false\n", false},
        {"another program", "[Desktop Entry]\nExec=/usr/bin/other\n", false},
        {"a program that starts with ours", "[Desktop Entry]\nExec=/usr/bin/tessarin-old\n", false},
        {"Exec in another group", "[Desktop Action x]\nExec=/usr/bin/tessarin\n", false},
        {"unterminated quote", "[Desktop Entry]\nExec=\"/usr/bin/tessarin\n", false},
        {"not text at all", std::string("\0\xff\n=", 4), false},
    };
    for (const auto& [name, text, enabled] : rows) {
        SCOPED_TRACE(name);
        writeFile(entry, text);
        EXPECT_EQ(XdgAutostartLoginItem(folder, "/usr/bin/tessarin").isEnabled(), enabled);
    }
}

TEST_F(AutostartTest, AFailedWriteIsLoggedAndLeavesItDisabled) {
    writeFile(dir / "config", "a file where the folder should be");
    testing::CapturedLog log;
    XdgAutostartLoginItem item(folder, "/usr/bin/tessarin");
    item.setEnabled(true);
    EXPECT_FALSE(item.isEnabled());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].message.rfind("autostart entry write failed at " + entry.string() + ": ", 0), 0u);
}

TEST(AutostartFolder, FollowsXdgConfigHomeOnlyWhenAbsolute) {
    testing::TemporaryHome home;  // HOME and XDG_CONFIG_HOME inside a temporary folder
    EXPECT_EQ(*XdgAutostartLoginItem::defaultFolder(), home.root() / "config/autostart");
    for (const char* config : {"", "relative/config"}) {
        ::setenv("XDG_CONFIG_HOME", config, 1);
        EXPECT_EQ(*XdgAutostartLoginItem::defaultFolder(), home.root() / ".config/autostart");
    }
    ::setenv("HOME", "not/absolute", 1);
    EXPECT_FALSE(XdgAutostartLoginItem::defaultFolder());
}

// desktop-file-validate, run without a shell; its exit status and output.
std::pair<int, std::string> validateDesktopFile(const std::filesystem::path& file, const std::filesystem::path& output) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execlp("desktop-file-validate", "desktop-file-validate", file.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::readFile(output)};
}

TEST_F(AutostartTest, AnEntryForAPathHoldingEveryReservedCharacterValidatesAndReadsBack) {
    const std::string program = "/opt/Tess arin/\"q\" $HOME 100% back\\slash `x`/tessarin";
    XdgAutostartLoginItem item(folder, program);
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    const auto [status, output] = validateDesktopFile(entry, dir / "validate.out");
    if (status == 127) GTEST_SKIP() << "desktop-file-validate is not installed";
    EXPECT_EQ(status, 0) << output << readFile(entry);
    EXPECT_EQ(output, "") << readFile(entry);
}

}  // namespace
}  // namespace tessarin
