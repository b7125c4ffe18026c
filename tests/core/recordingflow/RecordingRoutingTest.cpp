#include "core/recordingflow/RecordingRouting.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/ManualExecutor.h"
#include "support/TempDir.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

TEST(SaveAsTest, CopiesInTheBackgroundAndAnswersOnMain) {
    testing::TempDir folder;
    std::ofstream(folder / "Recording.mov") << "movie bytes";
    for (const auto& [destination, fails] : {std::pair{folder / "Copy.mov", false}, {folder / "no" / "New.mov", true}}) {
        testing::ManualExecutor main, background;
        std::optional<std::optional<std::string>> answer;
        saveRecordingCopy(background, main, folder / "Recording.mov", destination,
                          [&](std::optional<std::string> failure) { answer = failure; });
        background.runAll();
        EXPECT_FALSE(answer) << "never off the main thread";
        main.runAll();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->has_value(), fails) << destination;
    }
    std::ifstream copied(folder / "Copy.mov");
    std::string text;
    std::getline(copied, text);
    EXPECT_EQ(text, "movie bytes");
}

TEST(SaveAsDestinationTest, AddsTheMovieExtensionWhenMissing) {
    EXPECT_EQ(saveAsDestination("/a/Clip"), "/a/Clip.mov");
    EXPECT_EQ(saveAsDestination("/a/Clip.MOV"), "/a/Clip.MOV");
    EXPECT_EQ(saveAsDestination("/a/Clip.final"), "/a/Clip.final.mov");
}

TEST(RecordingRoutingTest, TheSoundFollowsThePreferenceAndTheThumbnailAlwaysShows) {
    for (bool allowed : {true, false}) {
        int sounds = 0;
        std::vector<fs::path> shown;
        routeSuccessfulRecording(RecordingResult{"/d/Recording.mov", nullptr, 2, false},
                                 {[&] { return allowed; }, [&] { ++sounds; },
                                  [&](const RecordingResult& result) { shown.push_back(result.fileURL); }});
        EXPECT_EQ(sounds, allowed ? 1 : 0);
        EXPECT_EQ(shown, std::vector<fs::path>{"/d/Recording.mov"});
    }
}

}  // namespace
}  // namespace tessarin
