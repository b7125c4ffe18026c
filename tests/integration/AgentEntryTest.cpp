// The executable without an X server: how it decides between the desktop
// application and the agent, the commands that need no screen, and how the
// capture commands fail when there is no display to capture.

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "AgentProcess.h"

namespace tessarin::integration {
namespace {

// No case here may reach a real desktop: DISPLAY is dropped for the whole
// binary, and the cases that want a display name one with no server behind it.
class AgentEntry : public AgentTest {
protected:
    void SetUp() override { ::unsetenv("DISPLAY"); }
};

TEST_F(AgentEntry, OnlyNoArgumentsOrALinkStartTheDesktopApplicationAndVersionNeedsNoScreen) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"tessarin://capture-area"}}) {
        SCOPED_TRACE(args.empty() ? "(no arguments)" : args[0]);
        // Here there is no display: the application says so without loading Qt.
        const std::string noDisplay =
            "tessarin: no display to run the desktop application on (DISPLAY is not set); run `tessarin help` for "
            "the agent's commands\n";
        EXPECT_EQ(run(args), (AgentRun{1, "", noDisplay}));
    }
    // Any other word is an agent command line: a typo fails instead of opening a window.
    EXPECT_EQ(run({"captur-full", "--out", "x.png"}), (AgentRun{64, run({"help"}).out, errorLine("unknown command \"captur-full\"")}));
    const AgentRun version = run({"--version"});
    EXPECT_TRUE(std::regex_match(version.out, std::regex(R"(tessarin \d+\.\d+\.\d+ \([^()\n]+\)\n)"))) << version.out;
}

TEST_F(AgentEntry, WithoutAReachableDisplayCapturesFailAndDoctorSaysWhy) {
    int dead = 1999;
    while (fs::exists("/tmp/.X11-unix/X" + std::to_string(dead))) ++dead;
    for (const EnvironmentChanges& display :
         {EnvironmentChanges{}, EnvironmentChanges{{"DISPLAY", ":" + std::to_string(dead)}}}) {
        SCOPED_TRACE(display.empty() ? "no DISPLAY" : "a DISPLAY with no server");
        const AgentRun capture = run({"capture-full", "--out", "shot.png"}, display);
        EXPECT_EQ(capture.status, 1);
        EXPECT_EQ(capture.out, "");
        EXPECT_EQ(capture.err.rfind(R"({"error":"capture failed: )", 0), 0u) << capture.err;
        EXPECT_EQ(capture.err.find('\n'), capture.err.size() - 1) << "one line: " << capture.err;

        const AgentRun doctor = run({"doctor"}, display);
        EXPECT_EQ(doctor.status, 1);
        EXPECT_EQ(doctor.err, "");
        EXPECT_NE(doctor.out.find("NOT granted ✗"), std::string::npos) << doctor.out;
        EXPECT_EQ(doctor.out.find("granted ✓"), std::string::npos) << doctor.out;
        EXPECT_NE(doctor.out.find("  binary:                 " + std::string(agentBinary()) + "\n"), std::string::npos)
            << doctor.out;
        const std::string hint =
            "  → capture-* needs an X display. Set DISPLAY to a running X server\n"
            "    (or run under Xvfb), or run in a Wayland session with its desktop portals.\n";
        ASSERT_GE(doctor.out.size(), hint.size());
        EXPECT_EQ(doctor.out.substr(doctor.out.size() - hint.size()), hint);
    }
    EXPECT_TRUE(folderEntries(workDir()).empty());
}

}  // namespace
}  // namespace tessarin::integration
