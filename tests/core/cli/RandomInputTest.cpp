#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <random>
#include <thread>

#include "CLIHarness.h"
#include "core/cli/CaptureCommandSupport.h"

namespace tessarin {
namespace {

std::string randomText(std::mt19937& rng, size_t maxLength) {
    static const std::string alphabet = "--=,.+-eEx0123456789 \tabcnfiNIF/\\\"'\xff\xc3\xa9";
    std::string text(rng() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    return text;
}

TEST(RandomInput, WholeCommandLinesGiveDocumentedStatusesAndJsonErrors) {
    namespace fs = std::filesystem;
    testing::CLIHarness cli;
    fs::create_directory(cli.path("box"));
    fs::create_directory(cli.path("outside"));
    cli.sandboxRoot = cli.path("box");  // whatever the arguments, writes stay in here
    // Ways out: a link, and a chain of links longer than the kernel follows.
    fs::create_directory_symlink(cli.path("outside"), cli.path("box/escape"));
    for (int i = 0; i < 40; ++i) fs::create_symlink("c" + std::to_string(i + 1), cli.path("box/c" + std::to_string(i)));
    fs::create_directory_symlink(cli.path("outside"), cli.path("box/c40"));
    const std::vector<std::string> folders = {"box/", "box/escape/", "box/c0/", "box/c1/", "box/new/../"};
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
            if (rng() % 2) {
                args.push_back(rng() % 4 ? cli.path(folders[rng() % folders.size()] + randomText(rng, 8))
                                         : randomText(rng, 20));
            }
        }
        const auto result = cli.run(args);
        EXPECT_TRUE(result.status == 0 || result.status == 1) << args[0];
        if (result.status == 1) {
            EXPECT_EQ(result.err.rfind("{\"error\":", 0), 0u);
            EXPECT_TRUE(result.out.empty()) << result.out;
        }
    }
    EXPECT_TRUE(fs::is_empty(cli.path("outside"))) << "a write left the sandbox";
}

TEST(RandomInput, ADisplayChoiceIsANumberThatNamesADisplayOrARefusal) {
    testing::CLIHarness cli;
    cli.backend.displayList = {testing::makeDisplay(1, {0, 0, 16, 16}, 1, true),
                               testing::makeDisplay(2, {16, 0, 16, 16}, 1)};
    std::mt19937 rng(7);
    const std::vector<std::string> known = {"0", "1", "+1", "-0", "00", "1", "2"};
    for (int i = 0; i < 400; ++i) {
        const std::string value = rng() % 3 ? randomText(rng, 6) : known[rng() % known.size()];
        const auto result = cli.run({"capture-full", "--out", cli.path("d.png"), "--display", value});
        const auto index = parseStrictInteger(value);
        // Never a silent fallback to the first display.
        EXPECT_EQ(result.status, index && (*index == 0 || *index == 1) ? 0 : 1) << value;
        if (!index) {
            EXPECT_NE(result.err.find("--display must be a display index"), std::string::npos) << value;
        }
    }
}

TEST(RandomInput, SwappingAFolderForALinkNeverCarriesAReadOrWriteOutsideTheRoot) {
    namespace fs = std::filesystem;
    testing::CLIHarness cli;
    cli.backend.displayList = {testing::makeDisplay(1, {0, 0, 8, 8}, 1, true)};
    const fs::path base = fs::canonical(cli.tmp.path());
    const fs::path root = base / "root", outside = base / "outside";
    fs::create_directories(root / "sub");
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, root / "swap");
    cli.sandboxRoot = root.string();
    std::ofstream(outside / "secret.json") << R"({"shapes":[]})";

    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        // "sub" and "swap" trade places atomically: "sub" is always there,
        // now a real folder, now a link out of the root.
        while (!stop) {
            ::renameat2(AT_FDCWD, (root / "sub").c_str(), AT_FDCWD, (root / "swap").c_str(), RENAME_EXCHANGE);
            std::this_thread::yield();
        }
    });
    int written = 0, refused = 0, read = 0;
    for (int i = 0; i < 300; ++i) {
        const auto write = cli.run({"capture-full", "--out", (root / "sub/x.png").string()});
        (write.status == 0 ? written : refused)++;
        const auto annotate = cli.run({"annotate", "--in", (root / "sub/x.png").string(), "--out",
                                       (root / "a.png").string(), "--shapes", (root / "sub/secret.json").string()});
        // Only the folder outside holds secret.json; this harness has no
        // drawing engine, so a shapes file that was read ends with this message.
        read += annotate.err.find("annotate is not available") != std::string::npos;
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(fs::directory_iterator(outside)->path().filename(), "secret.json");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1) << "escaped writes";
    EXPECT_EQ(read, 0) << "the shapes file outside the root was read";
    std::cout << "swap race: " << written << " writes landed inside, " << refused << " refused, 0 escaped\n";
}

}  // namespace
}  // namespace tessarin
