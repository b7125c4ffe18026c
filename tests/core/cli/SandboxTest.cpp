#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

class SandboxTest : public ::testing::Test {
protected:
    SandboxTest() {
        fs::create_directories(tmp / "root/sub");
        fs::create_directories(tmp / "outside");
        root = fs::canonical(tmp / "root").string();
        outside = fs::canonical(tmp / "outside");
    }
    std::string violation(const std::string& value) {
        try {
            CLISandbox::validated(root, "out", value);
        } catch (const CLIError& e) {
            return e.description();
        }
        return "accepted";
    }

    TempDir tmp;
    std::string root;
    fs::path outside;
};

TEST_F(SandboxTest, NoRootMeansNoCheck) {
    EXPECT_EQ(CLISandbox::validated(std::nullopt, "out", "/etc/../x.png"), fs::path("/etc/../x.png"));
    const auto relative = CLISandbox::validated(std::nullopt, "out", "shot.png");
    EXPECT_EQ(relative, fs::current_path() / "shot.png");
}

TEST_F(SandboxTest, InsideAcceptedIncludingNotYetExistingFolders) {
    EXPECT_EQ(CLISandbox::validated(root, "out", root + "/new/deeper/shot.png"), fs::path(root) / "new/deeper/shot.png");
    EXPECT_EQ(CLISandbox::validated(root, "out", root + "/sub/./x/../shot.png"), fs::path(root) / "sub/shot.png");
}

TEST_F(SandboxTest, OutsideRejectedWithResolvedPaths) {
    EXPECT_EQ(violation(outside.string() + "/x.png"),
              "--out \"" + outside.string() + "/x.png\" is outside the sandbox root \"" + root +
                  "\" (set by TESSARIN_SANDBOX_ROOT)");
    EXPECT_NE(violation(root + "/../outside/x.png"), "accepted");
}

TEST_F(SandboxTest, SiblingWithSharedPrefixIsOutside) {
    fs::create_directories(root + "er");
    EXPECT_NE(violation(root + "er/x.png"), "accepted");
    EXPECT_TRUE(CLISandbox::isPath("/tmp/box/a", "/tmp/box"));
    EXPECT_TRUE(CLISandbox::isPath("/tmp/box", "/tmp/box/"));
    EXPECT_FALSE(CLISandbox::isPath("/tmp/boxer", "/tmp/box"));
    EXPECT_FALSE(CLISandbox::isPath("/tmp", "/tmp/box"));
}

TEST_F(SandboxTest, LinkLeadingOutsideIsRejected) {
    fs::create_directory_symlink(outside, root + "/escape");
    EXPECT_NE(violation(root + "/escape/x.png"), "accepted");
}

TEST_F(SandboxTest, DanglingLinkIsFollowedToWhereTheWriteWouldLand) {
    fs::create_symlink(outside / "not-there.png", root + "/dangling.png");
    EXPECT_EQ(violation(root + "/dangling.png"),
              "--out \"" + (outside / "not-there.png").string() + "\" is outside the sandbox root \"" + root +
                  "\" (set by TESSARIN_SANDBOX_ROOT)");
}

TEST_F(SandboxTest, DotDotAfterALinkIsAppliedToTheLinksTarget) {
    // root/dirlink -> outside/inner ; root/dirlink/../x lands in outside/x.
    fs::create_directories(outside / "inner");
    fs::create_directory_symlink(outside / "inner", root + "/dirlink");
    EXPECT_NE(violation(root + "/dirlink/../x.png"), "accepted");
    // And the reverse: a link that leads back inside is fine.
    fs::create_directory_symlink(fs::path(root) / "sub", outside / "back");
    EXPECT_EQ(CLISandbox::validated(root, "out", (outside / "back/x.png").string()), fs::path(root) / "sub/x.png");
}

TEST_F(SandboxTest, RelativeLinksAndLoopsResolveWithoutHanging) {
    fs::create_symlink("sub", root + "/rel");
    EXPECT_EQ(CLISandbox::validated(root, "out", root + "/rel/x.png"), fs::path(root) / "sub/x.png");
    fs::create_symlink("loop-b", root + "/loop-a");
    fs::create_symlink("loop-a", root + "/loop-b");
    EXPECT_NO_THROW(CLISandbox::validated(root, "out", root + "/loop-a/x.png"));
}

TEST_F(SandboxTest, RootItselfThroughALinkIsResolved) {
    fs::create_directory_symlink(root, outside / "root-link");
    const std::string linkedRoot = (outside / "root-link").string();
    EXPECT_EQ(CLISandbox::validated(linkedRoot, "out", root + "/a.png"), fs::path(root) / "a.png");
}

TEST_F(SandboxTest, RelativeValuesResolveAgainstTheCurrentFolder) {
    const auto previous = fs::current_path();
    fs::current_path(root + "/sub");
    EXPECT_EQ(CLISandbox::validated(root, "out", "shot.png"), fs::path(root) / "sub/shot.png");
    EXPECT_NE(violation("../../outside/shot.png"), "accepted");
    fs::current_path(previous);
}

}  // namespace
}  // namespace tessarin
