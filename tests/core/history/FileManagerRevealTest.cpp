#include <gtest/gtest.h>

#include "core/history/FileManagerReveal.h"
#include "support/FakeCaptureFlowPorts.h"

namespace tessarin {
namespace {

struct FakeFileManager final : FileManagerPort {
    bool shows = true;
    bool opens = true;
    std::vector<std::vector<std::string>> shown;
    std::vector<std::string> opened;
    void showItems(const std::vector<std::string>& uris, Completion<bool> done) override {
        shown.push_back(uris);
        done(shows);
    }
    bool openFolder(const std::string& uri) override {
        opened.push_back(uri);
        return opens;
    }
};

TEST(FileURI, EncodesEverythingButUnreservedBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/a/b.png", "file:///a/b.png"},
        {"/home/me/My Shots/x.png", "file:///home/me/My%20Shots/x.png"},
        {"/tmp/100%#?.png", "file:///tmp/100%25%23%3F.png"},
        {"/tmp/\xc3\xa9.png", "file:///tmp/%C3%A9.png"},
    };
    for (const auto& [path, uri] : cases) EXPECT_EQ(fileURI(path), uri);
}

struct RevealTest : ::testing::Test {
    FakeFileManager files;
    testing::FakeAlerts alerts;
    FileManagerReveal reveal{files, alerts};
    std::optional<RevealOutcome> outcome;
    void run(std::optional<std::filesystem::path> file) {
        reveal.reveal(file, [this](RevealOutcome result) { outcome = result; });
    }
};

TEST_F(RevealTest, AsksTheFileManagerToShowTheFile) {
    run("/data/History/images/a b.png");
    EXPECT_EQ(outcome, RevealOutcome::shownInFileManager);
    ASSERT_EQ(files.shown.size(), 1u);
    EXPECT_EQ(files.shown[0], (std::vector<std::string>{"file:///data/History/images/a%20b.png"}));
    EXPECT_TRUE(files.opened.empty());
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(RevealTest, WithoutAFileManagerOpensTheFolder) {
    files.shows = false;
    run("/data/History/images/a.png");
    EXPECT_EQ(outcome, RevealOutcome::openedFolder);
    EXPECT_EQ(files.opened, (std::vector<std::string>{"file:///data/History/images"}));
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(RevealTest, SaysSoWhenNothingCouldShowIt) {
    files.shows = false;
    files.opens = false;
    run("/data/History/images/a.png");
    EXPECT_EQ(outcome, RevealOutcome::failed);
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].first, "Reveal Failed");
}

TEST_F(RevealTest, AMissingFileWarnsAndAsksNobody) {
    run(std::nullopt);
    EXPECT_EQ(outcome, RevealOutcome::fileMissing);
    EXPECT_TRUE(files.shown.empty());
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0], (std::pair<std::string, std::string>{"Image Open Failed", "Failed to load screenshot image"}));
}

}  // namespace
}  // namespace tessarin
