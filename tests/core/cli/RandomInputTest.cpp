// Bounded random-input tests of the agent's parsers: whatever the command
// line, the agent answers with a status it documents and never crashes.

#include <gtest/gtest.h>

#include <random>

#include "CLIHarness.h"
#include "core/cli/CLIError.h"
#include "core/cli/CaptureCommandSupport.h"

namespace tessarin {
namespace {

std::string randomText(std::mt19937& rng, size_t maxLength) {
    static const std::string alphabet = "--=,.+-eEx0123456789 \tabcnfiNIF/\\\"'\xff\xc3\xa9";
    std::string text(rng() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    return text;
}

TEST(RandomInput, RectParserEitherReturnsFourFiniteNumbersOrTheFormatError) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        const std::string value = randomText(rng, 40);
        try {
            const auto r = CaptureCommandSupport::parseRect(value);
            EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height))
                << value;
        } catch (const CLIError& e) {
            EXPECT_EQ(e.description(), "--rect must be x,y,w,h (top-left image pixels)") << value;
        }
    }
}

TEST(RandomInput, WholeCommandLinesGiveDocumentedStatusesAndJsonErrors) {
    testing::CLIHarness cli;
    std::filesystem::create_directory(cli.path("box"));
    cli.sandboxRoot = cli.path("box");  // whatever the arguments, writes stay in here
    // Small displays keep the many successful captures cheap.
    cli.backend.displayList = {testing::makeDisplay(1, {0, 0, 64, 48}, 1, true),
                               testing::makeDisplay(2, {64, 0, 32, 32}, 2)};
    std::mt19937 rng(99);
    const auto& table = TessarinCLI::subcommands();
    const std::vector<std::string> flags = {"--out", "--rect", "--display", "--display-id", "--app",
                                            "--window", "--in", "--shapes", "--x"};
    for (int i = 0; i < 1500; ++i) {
        std::vector<std::string> args = {table[rng() % table.size()].name};
        for (auto n = rng() % 7; n > 0; --n) {
            args.push_back(rng() % 3 ? flags[rng() % flags.size()] : randomText(rng, 12));
            if (rng() % 2) args.push_back(rng() % 4 ? cli.path("box/" + randomText(rng, 8)) : randomText(rng, 20));
        }
        const auto result = cli.run(args);
        EXPECT_TRUE(result.status == 0 || result.status == 1) << args[0];
        if (result.status == 1) {
            EXPECT_EQ(result.err.rfind("{\"error\":", 0), 0u);
            EXPECT_TRUE(result.out.empty()) << result.out;
        }
    }
}

}  // namespace
}  // namespace tessarin
