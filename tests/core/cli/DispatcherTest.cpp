#include <gtest/gtest.h>

#include "CLIHarness.h"

namespace tessarin {
namespace {

using testing::CLIHarness;

// The aliases, words that are not commands, and a failure printing no
// unused-flag warning are covered where the executable runs
// (tests/integration/AgentEntryTest.cpp).
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

TEST(UsageText, LayoutOfTheCommandTable) {
    const std::string usage = TessarinCLI::usageText();
    EXPECT_EQ(usage.rfind("tessarin — capture and annotate Linux screenshots (agent CLI)\n\nUSAGE\n"
                          "  tessarin <command> [flags]\n\nCOMMANDS\n  annotate          Draw a JSON shape spec",
                          0),
              0u);
    EXPECT_EQ(usage.substr(usage.size() - 6), "\n  ] }");
    for (const char* part : {
             // 17 characters: padded to 18, summary in column 21.
             "\n  capture-scrolling Auto-scroll a region and stitch a tall image\n",
             // 23 characters: alone on its line, summary below.
             "\n  capture-previous-region\n                    Repeat the last region captured",
             "\n                    [--max-seconds N] [--idle-seconds N] [--no-auto-scroll]\n",
             "\n  help              Show this help\n\nANNOTATE SHAPE SPEC",
             "\n    {\"type\":\"arrow\",\"from\":[x,y],\"to\":[x,y]},\n"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

// The hints after a failing report are pinned where the executable runs.
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

}  // namespace
}  // namespace tessarin
