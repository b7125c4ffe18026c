#include <gtest/gtest.h>

#include "CLIHarness.h"

namespace tessarin {
namespace {

using testing::CLIHarness;

TEST(Dispatcher, HelpAliasesPrintTheSameUsage) {
    CLIHarness cli;
    const auto help = cli.run({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, TessarinCLI::usageText() + "\n");
    EXPECT_EQ(cli.run({"--help"}).out, help.out);
    EXPECT_EQ(cli.run({"-h"}).out, help.out);
    EXPECT_TRUE(help.err.empty());
}

TEST(Dispatcher, VersionAliasMatches) {
    CLIHarness cli;
    const auto version = cli.run({"version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tessarin ", 0), 0u);
    EXPECT_EQ(cli.run({"--version"}).out, version.out);
}

TEST(Dispatcher, UnknownCommandIs64WithErrorAndUsage) {
    CLIHarness cli;
    const auto result = cli.run({"capture"});
    EXPECT_EQ(result.status, 64);
    EXPECT_EQ(result.err, "{\"error\":\"unknown command \\\"capture\\\"\"}\n");
    EXPECT_EQ(result.out, TessarinCLI::usageText() + "\n");
}

TEST(Dispatcher, CommandWordsAreExact) {
    EXPECT_TRUE(TessarinCLI::isCommandWord("capture-full"));
    EXPECT_TRUE(TessarinCLI::isCommandWord("--version"));
    EXPECT_FALSE(TessarinCLI::isCommandWord("Capture-Full"));
    EXPECT_FALSE(TessarinCLI::isCommandWord("-psn_0_12345"));
    EXPECT_FALSE(TessarinCLI::isCommandWord(""));
}

TEST(Dispatcher, UnusedFlagWarnsAfterSuccess) {
    CLIHarness cli;
    const auto result = cli.run({"version", "--verbose", "--zz=1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, R"({"warning":"ignored flags: --verbose, --zz"})" "\n");
}

TEST(Dispatcher, FailureWritesOnlyTheError) {
    CLIHarness cli;
    const auto result = cli.run({"capture-full", "--verbose"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, R"({"error":"missing required flag --out"})" "\n");
    EXPECT_TRUE(result.out.empty());
}

TEST(UsageText, LayoutOfTheCommandTable) {
    const std::string usage = TessarinCLI::usageText();
    EXPECT_EQ(usage.rfind("tessarin — capture and annotate Linux screenshots (agent CLI)\n\nUSAGE\n"
                          "  tessarin <command> [flags]\n\nCOMMANDS\n  annotate          Draw a JSON shape spec",
                          0),
              0u);
    // 17 characters: padded to 18, summary in column 21.
    EXPECT_NE(usage.find("\n  capture-scrolling Auto-scroll a region and stitch a tall image\n"), std::string::npos);
    // 23 characters: alone on its line, summary below.
    EXPECT_NE(usage.find("\n  capture-previous-region\n                    Repeat the last region captured"),
              std::string::npos);
    EXPECT_NE(usage.find("\n                    [--max-seconds N] [--idle-seconds N] [--no-auto-scroll]\n"),
              std::string::npos);
    EXPECT_NE(usage.find("\n  help              Show this help\n\nANNOTATE SHAPE SPEC"), std::string::npos);
    EXPECT_EQ(usage.substr(usage.size() - 6), "\n  ] }");
    EXPECT_NE(usage.find("\n    {\"type\":\"arrow\",\"from\":[x,y],\"to\":[x,y]},\n"), std::string::npos);
}

TEST(Doctor, ReportsAccessAndExitStatus) {
    CLIHarness cli;
    cli.backend.inputAllowed = true;
    const auto granted = cli.run({"doctor"});
    EXPECT_EQ(granted.status, 0);
    EXPECT_NE(granted.out.find("tessarin doctor\n  screen recording (X11): granted ✓\n"
                               "  accessibility (XTEST):  granted ✓\n  app id:                 io.tessarin.Tessarin\n"
                               "  binary:                 /usr/bin/tessarin\n  signing:                "),
              std::string::npos);
    EXPECT_EQ(granted.out.find("→"), std::string::npos);

    cli.backend.captureAllowed = false;
    cli.backend.inputAllowed = false;
    const auto denied = cli.run({"doctor"});
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.out.find("  screen recording (X11): NOT granted ✗\n"), std::string::npos);
    EXPECT_NE(denied.out.find("  accessibility (XTEST):  not granted (optional)\n"), std::string::npos);
    EXPECT_NE(denied.out.find("  → capture-* needs an X display."), std::string::npos);
    EXPECT_TRUE(denied.err.empty());
}

}  // namespace
}  // namespace tessarin
