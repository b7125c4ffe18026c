#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/common/DurableFile.h"
#include "core/common/PathResolution.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Writes `text` to `target` through a DurableFile; the fault, if any.
std::optional<FileFault> replace(const fs::path& target, const std::string& text) {
    auto file = DurableFile::create(target);
    if (!file) return file.error();
    if (auto fault = file->writeAll(text)) return fault;
    return file->commit();
}

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class PathResolutionTest : public ::testing::Test {
protected:
    PathResolutionTest() : base(fs::canonical(tmp.path())) {}
    // A chain c0 -> c1 -> ... -> c<links> -> `end`.
    void chain(int links, const fs::path& end) {
        for (int i = 0; i < links; ++i) fs::create_symlink("c" + std::to_string(i + 1), base / ("c" + std::to_string(i)));
        fs::create_directory_symlink(end, base / ("c" + std::to_string(links)));
    }
    testing::TempDir tmp;
    fs::path base;
};

TEST_F(PathResolutionTest, ResolvesLinksBeforeDotDotAndKeepsMissingPartsAsWritten) {
    fs::create_directories(base / "real/inner");
    fs::create_directory_symlink(base / "real/inner", base / "link");
    const std::pair<std::string, std::string> rows[] = {
        {"link/../x.png", "real/x.png"},        // ".." applies to where the link leads
        {"nothere/../x.png", "x.png"},          // nothing is made for a name ".." takes back
        {"o.png/", "o.png/"},                   // still names a folder
    };
    for (const auto& [value, expected] : rows) {
        const auto resolved = resolvePath(base / value);
        ASSERT_TRUE(resolved) << value;
        EXPECT_EQ(*resolved, (base / expected).string()) << value;
    }
}

TEST_F(PathResolutionTest, AChainLongerThanTheKernelFollowsIsRefusedNotKeptAsWritten) {
    fs::create_directories(base / "outside");
    chain(kMaxLinkHops, base / "outside");  // 41 links to get there
    EXPECT_EQ(resolvePath(base / "c0/x.png").error(), ELOOP);
    EXPECT_EQ(*resolvePath(base / "c1/x.png"), base / "outside/x.png");  // 40 are fine
    fs::create_symlink("loop-b", base / "loop-a");
    fs::create_symlink("loop-a", base / "loop-b");
    EXPECT_EQ(resolvePath(base / "loop-a/x.png").error(), ELOOP);
}

class DurableFileTest : public ::testing::Test {
protected:
    DurableFileTest() : folder(fs::canonical(tmp.path())) {}
    fs::path target() const { return folder / "shot.png"; }
    testing::TempDir tmp;
    fs::path folder;
};

TEST_F(DurableFileTest, AReplacedFileKeepsItsModeAndANewOneGetsTheDefault) {
    const mode_t previous = umask(022);
    ASSERT_FALSE(replace(target(), "first"));
    EXPECT_EQ(fs::status(target()).permissions(), fs::perms(0644));
    ::chmod(target().c_str(), 0600);
    ASSERT_FALSE(replace(target(), "second"));
    umask(previous);
    EXPECT_EQ(contents(target()), "second");
    EXPECT_EQ(fs::status(target()).permissions(), fs::perms(0600));
    EXPECT_EQ(entries(folder), std::vector<std::string>{"shot.png"});
}

TEST_F(DurableFileTest, PipesDevicesFoldersAndFolderNamesAreRefusedAndLeftAlone) {
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    fs::create_directory(folder / "dir");
    std::vector<std::pair<std::string, int>> rows = {{"pipe", EINVAL}, {"dir", EISDIR}, {"new/", EISDIR}};
    // Only root can make a device node; replacing this one would be harmless.
    if (::mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) rows.emplace_back("null", EINVAL);
    for (const auto& [name, error] : rows) {
        const auto fault = replace(folder / name, "data");
        ASSERT_TRUE(fault) << name;
        EXPECT_EQ(fault->errorNumber, error) << name;
    }
    EXPECT_EQ(replace(folder / "pipe", "x")->reason, "not a regular file");
    EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
    const auto names = entries(folder);
    EXPECT_TRUE(std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.find(".tmp-") != n.npos; }));
}

TEST_F(DurableFileTest, AFolderThatBecameALinkFailsTheWriteInsteadOfFollowingIt) {
    fs::create_directories(folder / "outside");
    fs::create_directory_symlink(folder / "outside", folder / "sub");
    // Judged when "sub" was a folder; it is a link now.
    const auto fault = replace(folder / "sub/x.png", "data");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->errorNumber, ELOOP);
    EXPECT_TRUE(fault->inFolder);
    EXPECT_TRUE(fs::is_empty(folder / "outside"));
    EXPECT_EQ(openRegularFileNoFollow(folder / "sub/x.png").error().errorNumber, ELOOP);
}

TEST_F(DurableFileTest, MissingFoldersAreMadeAndAMissingFileIsNotOpened) {
    ASSERT_FALSE(replace(folder / "a/b/shot.png", "deep"));
    const auto file = openRegularFileNoFollow(folder / "a/b/shot.png");
    ASSERT_TRUE(file);
    char buffer[8] = {};
    EXPECT_EQ(::read(file->get(), buffer, sizeof buffer), 4);
    EXPECT_EQ(openRegularFileNoFollow(folder / "none").error().errorNumber, ENOENT);
}

}  // namespace
}  // namespace tessarin
