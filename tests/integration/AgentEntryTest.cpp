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

const std::string kDesktopNote =
    "tessarin: the desktop application is not built yet; run `tessarin help` for the agent's commands\n";

// No case here may reach a real desktop: DISPLAY is dropped for the whole
// binary, and the cases that want a display name one with no server behind it.
class AgentEntry : public AgentTest {
protected:
    void SetUp() override { ::unsetenv("DISPLAY"); }

    static EnvironmentChanges deadDisplay() {
        int number = 1999;
        while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) ++number;
        return {{"DISPLAY", ":" + std::to_string(number)}};
    }
};

TEST_F(AgentEntry, AnythingButACommandWordStartsTheDesktopApplication) {
    // No arguments, an unknown word, a prefix of a command, a command in the
    // wrong case, and a flag-looking argument the desktop might pass.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"nosuch"}, {"capture"}, {"CAPTURE-FULL", "--out", "x.png"}, {"-psn_0_12345"}}) {
        SCOPED_TRACE(args.empty() ? "(no arguments)" : args[0]);
        const AgentRun run = this->run(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kDesktopNote);
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(folderEntries(workDir()).empty());  // the capture-looking one wrote nothing
}

TEST_F(AgentEntry, VersionAndItsAliasPrintTheSameLine) {
    const AgentRun version = run({"version"});
    const AgentRun alias = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_TRUE(std::regex_match(version.out, std::regex(R"(tessarin \d+\.\d+\.\d+ \([^()\n]+\)\n)"))) << version.out;
    EXPECT_EQ(alias.status, 0);
    EXPECT_EQ(alias.out, version.out);
    EXPECT_EQ(alias.err, "");
}

TEST_F(AgentEntry, HelpAndItsAliasesPrintTheSameUsage) {
    const AgentRun help = run({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    for (const char* command : {"capture-full", "capture-region", "capture-previous-region", "capture-window",
                                "list-targets", "doctor", "version"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    for (const char* alias : {"--help", "-h"}) {
        const AgentRun run = this->run({alias});
        EXPECT_EQ(run.status, 0) << alias;
        EXPECT_EQ(run.out, help.out) << alias;
    }
}

TEST_F(AgentEntry, ArgumentErrorsComeBeforeAnyScreenAccess) {
    // Exact messages, on standard error only, even though there is no display.
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {{"capture-full"}, "missing required flag --out"},
             {{"capture-region", "--out", "r.png"}, "missing required flag --rect"},
             {{"capture-region", "--rect", "10,20,abc", "--out", "r.png"},
              "--rect must be x,y,w,h (top-left image pixels)"},
             {{"capture-window", "--out", "w.png"}, "missing required flag --app"},
             {{"capture-previous-region", "--out", "p.png"},
              "no previous region: run capture-region (or capture an area in the app) first"},
         }) {
        SCOPED_TRACE(c.args[0]);
        const AgentRun run = this->run(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, errorLine(c.message));
    }
    EXPECT_TRUE(folderEntries(workDir()).empty());
}

TEST_F(AgentEntry, AFailingCommandReportsOnlyItsErrorNotTheUnusedFlags) {
    const AgentRun run = this->run({"capture-full", "--verbose", "--colour", "red"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, errorLine("missing required flag --out"));
}

TEST_F(AgentEntry, WithoutDisplayCapturesFailAndDoctorSaysWhy) {
    const AgentRun capture = run({"capture-full", "--out", "shot.png"});
    EXPECT_EQ(capture.status, 1);
    EXPECT_EQ(capture.out, "");
    EXPECT_EQ(capture.err.rfind(R"({"error":"capture failed: )", 0), 0u) << capture.err;
    EXPECT_EQ(capture.err.find('\n'), capture.err.size() - 1) << "one line: " << capture.err;
    EXPECT_FALSE(fs::exists(workDir() / "shot.png"));

    const AgentRun region = run({"capture-region", "--rect", "0,0,10,10", "--out", "r.png"});
    EXPECT_EQ(region.status, 1);
    EXPECT_EQ(region.err.rfind(R"({"error":"capture failed: )", 0), 0u) << region.err;

    const AgentRun targets = run({"list-targets"});
    EXPECT_EQ(targets.status, 1);
    EXPECT_EQ(targets.out, "");
    EXPECT_EQ(targets.err.rfind(R"({"error":")", 0), 0u) << targets.err;

    const AgentRun doctor = run({"doctor"});
    EXPECT_EQ(doctor.status, 1);
    EXPECT_EQ(doctor.err, "");
    EXPECT_NE(doctor.out.find("NOT granted ✗"), std::string::npos) << doctor.out;
    EXPECT_EQ(doctor.out.find("granted ✓"), std::string::npos) << doctor.out;
    const std::string hint =
        "  → capture-* needs an X display. Set DISPLAY to a running X server\n"
        "    (or run under Xvfb); Wayland sessions need the portal back end (coming later).\n";
    ASSERT_GE(doctor.out.size(), hint.size());
    EXPECT_EQ(doctor.out.substr(doctor.out.size() - hint.size()), hint);
    EXPECT_NE(doctor.out.find("  binary:                 " + std::string(agentBinary()) + "\n"), std::string::npos)
        << doctor.out;

    EXPECT_TRUE(folderEntries(workDir()).empty());
}

TEST_F(AgentEntry, AnUnreachableDisplayFailsInsteadOfHanging) {
    const AgentRun capture = run({"capture-full", "--out", "shot.png"}, deadDisplay());
    EXPECT_EQ(capture.status, 1);
    EXPECT_EQ(capture.out, "");
    EXPECT_EQ(capture.err.rfind(R"({"error":"capture failed: )", 0), 0u) << capture.err;
    EXPECT_FALSE(fs::exists(workDir() / "shot.png"));

    const AgentRun doctor = run({"doctor"}, deadDisplay());
    EXPECT_EQ(doctor.status, 1);
    EXPECT_NE(doctor.out.find("NOT granted ✗"), std::string::npos) << doctor.out;
}

}  // namespace
}  // namespace tessarin::integration
