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

// Shown in the file manager, else its folder opened, else a warning; a missing file asks nobody.
TEST(FileManagerReveal, EachFallbackInTurn) {
    struct Case {
        bool shows, opens;
        std::optional<std::filesystem::path> file;
        RevealOutcome outcome;
        size_t opened;
        const char* alert;
    };
    const Case cases[] = {
        {true, true, "/data/History/images/a b.png", RevealOutcome::shownInFileManager, 0, nullptr},
        {false, true, "/data/History/images/a.png", RevealOutcome::openedFolder, 1, nullptr},
        {false, false, "/data/History/images/a.png", RevealOutcome::failed, 1, "Reveal Failed"},
        {true, true, std::nullopt, RevealOutcome::fileMissing, 0, "Image Open Failed"},
    };
    for (const Case& c : cases) {
        FakeFileManager files;
        files.shows = c.shows;
        files.opens = c.opens;
        testing::FakeAlerts alerts;
        FileManagerReveal reveal{files, alerts};
        std::optional<RevealOutcome> outcome;
        reveal.reveal(c.file, [&](RevealOutcome result) { outcome = result; });
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(files.shown.size(), c.file ? 1u : 0u);
        if (c.file && c.shows) {
            EXPECT_EQ(files.shown[0], std::vector<std::string>{fileURI(*c.file)});
        }
        if (c.opened) {
            EXPECT_EQ(files.opened, std::vector<std::string>{"file:///data/History/images"});
        }
        EXPECT_EQ(files.opened.size(), c.opened);
        ASSERT_EQ(alerts.shown.size(), c.alert ? 1u : 0u);
        if (c.alert) {
            EXPECT_EQ(alerts.shown[0].first, c.alert);
        }
    }
}

}  // namespace
}  // namespace tessarin
