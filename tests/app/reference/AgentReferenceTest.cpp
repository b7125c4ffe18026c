#include "core/cli/AgentReference.h"

#include <gtest/gtest.h>

namespace tessarin {
namespace {

TessarinCLI::Subcommand commandWithUsage(std::vector<std::string> lines) { return {"probe", {}, std::move(lines), nullptr}; }

struct FlagCase {
    const char* usage;
    std::vector<CommandFlag> expected;
};

TEST(AgentReference, FlagsAreReadFromTheUsageLinesWithTheirValues) {
    const FlagCase cases[] = {
        {"--out <png>", {{"--out", "<png>", true}}},
        {"--in <png> --out <png> [--shapes <file>|-]   (- = stdin)",
         {{"--in", "<png>", true}, {"--out", "<png>", true}, {"--shapes", "<file>|-", true}}},
        {"[--display-id ID | --display N]", {{"--display-id", "ID", false}, {"--display", "N", false}}},
        {"[--max-seconds N] [--no-auto-scroll]", {{"--max-seconds", "N", false}, {"--no-auto-scroll", "", false}}},
        {"--app <name> [--window <title substring>]", {{"--app", "<name>", false}, {"--window", "<title substring>", false}}},
        {"--in <png> | --rect x,y,w,h", {{"--in", "<png>", true}, {"--rect", "x,y,w,h", false}}},
        {"--out <png> [--out <png>]", {{"--out", "<png>", true}}},
        {"-- - --- [--x]", {{"--x", "", false}}},
        {"", {}},
    };
    for (const auto& [usage, expected] : cases) {
        EXPECT_EQ(flagsOf(commandWithUsage({"Summary", usage})), expected) << usage;
    }
}

TEST(AgentReference, TheSummaryLineNamesNoFlags) {
    EXPECT_TRUE(flagsOf(commandWithUsage({"Print the version (also --version)"})).empty());
    EXPECT_TRUE(flagsOf(commandWithUsage({})).empty());
}

TEST(AgentReference, ExitStatusesIncludeTheUnknownCommandStatus) {
    std::vector<int> statuses;
    for (const auto& row : agentExitStatuses()) statuses.push_back(row.status);
    EXPECT_EQ(statuses, (std::vector<int>{0, 1, TessarinCLI::kUnknownCommandStatus}));
}

}  // namespace
}  // namespace tessarin
