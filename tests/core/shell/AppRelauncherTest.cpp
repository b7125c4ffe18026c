#include "core/shell/AppRelauncher.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/preferences/PreferencesTestSupport.h"

namespace tessarin {
namespace {

TEST(AppRelauncherTest, TheProgramComesBackAsTheSameProcessWhateverItsPath) {
    testing::TempDir dir;
    const auto folder = dir / "Tess arin \"quoted\" $(touch injected) 100% back\\slash `id`";
    std::filesystem::create_directories(folder);
    const auto program = folder / "relaunch probe";
    std::filesystem::copy_file(RELAUNCH_PROBE, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const auto record = dir / "record";

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::chdir(dir.path().c_str());
        ::execl(program.c_str(), program.c_str(), record.c_str(), "1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(testing::readFile(record), "1 " + std::to_string(child) + "\n2 " + std::to_string(child) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "injected"));
}

TEST(AppRelauncherTest, ARelativeOrMissingProgramIsReportedNotRun) {
    EXPECT_EQ(AppRelauncher("tessarin", {}).execNow(), "the program path is not absolute: tessarin");
    EXPECT_EQ(AppRelauncher("/nonexistent/tessarin", {}).execNow(),
              "exec of /nonexistent/tessarin failed: No such file or directory");
}

}  // namespace
}  // namespace tessarin
