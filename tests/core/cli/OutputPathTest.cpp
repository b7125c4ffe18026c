#include <gtest/gtest.h>

#include "CLIHarness.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using testing::CLIHarness;
using testing::errorLine;

class OutputPaths : public ::testing::Test {
protected:
    OutputPaths() {
        cli.backend.displayList = {testing::makeDisplay(1, {0, 0, 32, 24}, 1, true)};
        base = fs::canonical(cli.tmp.path());
        fs::create_directories(base / "root");
        fs::create_directories(base / "outside");
    }
    testing::CommandResult capture(const std::string& out) { return cli.run({"capture-full", "--out", out}); }
    std::string refusal(const std::string& resolved) const {
        return "--out \"" + resolved + "\" is outside the sandbox root \"" + (base / "root").string() +
               "\" (set by TESSARIN_SANDBOX_ROOT)";
    }

    CLIHarness cli;
    fs::path base;
};

TEST_F(OutputPaths, ALinkChainTooLongToResolveIsASandboxViolation) {
    const fs::path root = base / "root";
    for (int i = 0; i < 40; ++i) fs::create_symlink("c" + std::to_string(i + 1), root / ("c" + std::to_string(i)));
    fs::create_directory_symlink(base / "outside", root / "c40");
    cli.sandboxRoot = root.string();
    EXPECT_EQ(capture((root / "c0/x.png").string()).err, errorLine(refusal((root / "c0/x.png").string())));
    for (const char* flag : {"--in", "--shapes"}) {
        const auto result = cli.run({"annotate", "--in", (root / "in.png").string(), "--out", (root / "o.png").string(),
                                     flag, (root / "c0/x.png").string()});
        EXPECT_EQ(result.status, 1) << flag;
        EXPECT_NE(result.err.find("is outside the sandbox root"), std::string::npos) << result.err;
    }
    EXPECT_TRUE(fs::is_empty(base / "outside"));
}

TEST_F(OutputPaths, ALinkToARegularFileIsWrittenThrough) {
    fs::create_symlink(base / "root/real.png", base / "root/link.png");
    std::ofstream(base / "root/real.png") << "old";
    EXPECT_EQ(capture((base / "root/link.png").string()).status, 0);
    EXPECT_TRUE(fs::is_symlink(base / "root/link.png"));
    EXPECT_NE(testing::readFile((base / "root/real.png").string()), "old");
}

TEST_F(OutputPaths, NamesThatAreNotUtf8AreRefusedBecauseJsonCannotCarryThem) {
    const std::string name = (base / "root/caf\xe9.png").string();  // Latin-1
    const std::string message = "--out must be a UTF-8 file name (the JSON result could not name this file exactly)";
    EXPECT_EQ(capture(name).err, errorLine(message));
    EXPECT_EQ(cli.run({"capture-text", "--in", name, "--out", name}).status, 1);
    EXPECT_TRUE(fs::is_empty(base / "root"));
    EXPECT_EQ(capture((base / "root/café.png").string()).status, 0);
}

}  // namespace
}  // namespace tessarin
