#include <gtest/gtest.h>

#include "CLIHarness.h"

namespace tessarin {
namespace {

using testing::CLIHarness;

TEST(Dispatcher, StatusAndStreamsOfEachKindOfCommandLine) {
    CLIHarness cli;
    const std::string usage = TessarinCLI::usageText() + "\n";
    const std::string version = cli.run({"version"}).out;
    EXPECT_EQ(version.rfind("tessarin ", 0), 0u);
    const struct { std::vector<std::string> args; int status; std::string out, err; } rows[] = {
        {{"help"}, 0, usage, ""},
        {{"capture"}, 64, usage, "{\"error\":\"unknown command \\\"capture\\\"\"}\n"},
        {{"version", "--verbose", "--zz=1"}, 0, version, R"({"warning":"ignored flags: --verbose, --zz"})" "\n"},
    };
    for (const auto& [args, status, out, err] : rows) {
        const auto result = cli.run(args);
        EXPECT_EQ(result.status, status) << args[0];
        EXPECT_EQ(result.out, out) << args[0];
        EXPECT_EQ(result.err, err) << args[0];
    }
}

TEST(Doctor, ReportsAccessAndExitStatus) {
    CLIHarness cli;
    const struct { bool granted; int status; std::string lines; } rows[] = {
        {true, 0, "tessarin doctor\n  screen recording (X11): granted ✓\n  accessibility (XTEST):  granted ✓\n"
                  "  app id:                 io.tessarin.Tessarin\n  binary:                 /usr/bin/tessarin\n"},
        {false, 1, "  screen recording (X11): NOT granted ✗\n  accessibility (XTEST):  not granted (optional)\n"},
    };
    for (const auto& [granted, status, lines] : rows) {
        cli.backend.captureAllowed = cli.backend.inputAllowed = granted;
        const auto result = cli.run({"doctor"});
        EXPECT_EQ(result.status, status);
        EXPECT_NE(result.out.find(lines), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("  → capture-* needs an X display.") == std::string::npos, granted) << result.out;
        EXPECT_EQ(result.err, "");
    }
}

TEST(Doctor, ShowsTheBackEndsOwnLabelsDetailsAndHints) {
    CLIHarness cli;
    cli.describeBackend = [] {
        BackendDescription d;
        d.captureLabel = "screenshots (portal)";
        d.inputLabel = "scroll input (portal)";
        d.details = {{"back end", "desktop portals (Wayland display wayland-1)"},
                     {"portal GlobalShortcuts", "missing ✗"},
                     {"a label longer than the column", "value"}};
        d.hints = {"no GlobalShortcuts portal: bind commands yourself"};
        d.noCaptureHint = {"capture-* needs the Screenshot portal", "  (second line)."};
        return d;
    };
    cli.backend.inputAllowed = false;
    const auto granted = cli.run({"doctor"});
    EXPECT_EQ(granted.status, 0);
    EXPECT_NE(granted.out.find("tessarin doctor\n  screenshots (portal):   granted ✓\n"
                               "  scroll input (portal):  not granted (optional)\n"),
              std::string::npos)
        << granted.out;
    EXPECT_NE(granted.out.find("  back end:               desktop portals (Wayland display wayland-1)\n"
                               "  portal GlobalShortcuts: missing ✗\n"
                               "  a label longer than the column: value\n"
                               "  → no GlobalShortcuts portal: bind commands yourself\n"),
              std::string::npos)
        << granted.out;
    EXPECT_EQ(granted.out.find("needs the Screenshot portal"), std::string::npos);

    cli.backend.captureAllowed = false;
    const auto refused = cli.run({"doctor"});
    EXPECT_EQ(refused.status, 1);
    const std::string ending = "  → capture-* needs the Screenshot portal\n    (second line).\n";
    ASSERT_GE(refused.out.size(), ending.size());
    EXPECT_EQ(refused.out.substr(refused.out.size() - ending.size()), ending);
}

TEST(Dispatcher, WithoutAWindowListTargetsWarnAndWindowCaptureFailsWithTheReason) {
    CLIHarness cli;
    cli.backend.noWindowList = "there is no global window list here";
    const auto targets = cli.run({"list-targets"});
    EXPECT_EQ(targets.status, 0);
    EXPECT_NE(targets.out.find("\"windows\" : []"), std::string::npos) << targets.out;
    EXPECT_EQ(targets.err, "{\"warning\":\"the window list is empty: there is no global window list here\"}\n");

    const auto window = cli.run({"capture-window", "--app", "foot", "--out", cli.path("w.png")});
    EXPECT_EQ(window.status, 1);
    EXPECT_EQ(window.err,
              "{\"error\":\"capture failed: Capture failed: there is no global window list here\"}\n");
    EXPECT_TRUE(cli.backend.capturedWindows.empty());
}

TEST(Dispatcher, OnlyNoArgumentsAndLinksAreForTheDesktop) {
    const std::pair<std::vector<std::string>, bool> rows[] = {
        {{}, false},
        {{"tessarin://capture-area"}, false},
        {{"Tessarin:capture"}, false},
        {{"tessarin"}, true},
        {{"captur-full", "--out", "x.png"}, true},  // a misspelt command is still the agent's: status 64
        {{"-psn_0_12345"}, true},
    };
    for (const auto& [args, agent] : rows) {
        EXPECT_EQ(TessarinCLI::isAgentInvocation(args), agent) << (args.empty() ? "(none)" : args[0]);
    }
}

}  // namespace
}  // namespace tessarin
