#include <gtest/gtest.h>
#include <unistd.h>

#include "core/cli/CLIError.h"
#include "core/cli/CLISandbox.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

class SandboxTest : public ::testing::Test {
protected:
    SandboxTest() {
        fs::create_directories(tmp / "root/sub");
        fs::create_directories(tmp / "root-er");
        fs::create_directories(tmp / "outside/inner");
        root = fs::canonical(tmp / "root").string();
        outside = fs::canonical(tmp / "outside").string();
    }
    // Where the write would land, or why it is refused.
    std::string check(const std::string& value, const std::optional<std::string>& sandbox) {
        try {
            return CLISandbox::validated(sandbox, "out", value).string();
        } catch (const CLIError& e) {
            return e.description();
        }
    }
    std::string check(const std::string& value) { return check(value, root); }
    std::string refused(const std::string& resolved) {
        return "--out \"" + resolved + "\" is outside the sandbox root \"" + root + "\" (set by TESSARIN_SANDBOX_ROOT)";
    }

    testing::TempDir tmp;
    std::string root;
    std::string outside;
};

TEST_F(SandboxTest, WithoutARootPathsAreResolvedTheSameWayButNotConfined) {
    EXPECT_EQ(check("/etc/../x.png", std::nullopt), "/x.png");
    EXPECT_EQ(check(outside + "/x.png", std::nullopt), outside + "/x.png");
    EXPECT_EQ(check("shot.png", std::nullopt), fs::canonical(fs::current_path()) / "shot.png");
    // What cannot be resolved is refused, as the kernel would.
    fs::create_symlink("loop", root + "/loop");
    EXPECT_EQ(check(root + "/loop/../x.png", std::nullopt),
              "--out \"" + root + "/loop/../x.png\" cannot be resolved: Too many levels of symbolic links");
}

TEST_F(SandboxTest, PathsAreResolvedThroughLinksBeforeTheyAreCompared) {
    fs::create_directory_symlink(outside, root + "/escape");
    fs::create_symlink(outside + "/not-there.png", root + "/dangling.png");
    fs::create_directory_symlink(outside + "/inner", root + "/dirlink");
    fs::create_directory_symlink(root + "/sub", outside + "/back");
    fs::create_symlink("sub", root + "/rel");
    const std::pair<std::string, std::string> rows[] = {
        {root + "/new/deeper/../more/shot.png", root + "/new/more/shot.png"},  // folders not made yet
        {root, root},
        {root + "/sub/./x/../shot.png", root + "/sub/shot.png"},
        {outside + "/x.png", refused(outside + "/x.png")},
        {root + "/../outside/x.png", refused(outside + "/x.png")},
        {root + "-er/x.png", refused(root + "-er/x.png")},  // a shared prefix is not a parent
        {root + "/escape/x.png", refused(outside + "/x.png")},
        {root + "/dangling.png", refused(outside + "/not-there.png")},  // followed to where the write lands
        {root + "/dirlink/../x.png", refused(outside + "/x.png")},      // .. applies to the link's target
        {outside + "/back/x.png", root + "/sub/x.png"},                 // a link back inside is fine
        {root + "/rel/x.png", root + "/sub/x.png"},                     // relative link
    };
    for (const auto& [value, expected] : rows) EXPECT_EQ(check(value), expected) << value;

    fs::create_symlink("loop-b", root + "/loop-a");
    fs::create_symlink("loop-a", root + "/loop-b");
    // Resolves without hanging, and what cannot be resolved is not let through.
    EXPECT_EQ(check(root + "/loop-a/x.png"), refused(root + "/loop-a/x.png"));
}

TEST_F(SandboxTest, RootThroughALinkAndRelativeValuesAreResolved) {
    fs::create_directory_symlink(root, outside + "/root-link");
    EXPECT_EQ(check(root + "/a.png", outside + "/root-link"), root + "/a.png");

    const auto previous = fs::current_path();
    fs::current_path(root + "/sub");
    EXPECT_EQ(check("shot.png"), root + "/sub/shot.png");
    EXPECT_EQ(check("../../outside/shot.png"), refused(outside + "/shot.png"));
    fs::current_path(previous);
}

}  // namespace
}  // namespace tessarin
