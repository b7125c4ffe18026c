#include "core/recordingflow/RecordingRouting.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/ManualExecutor.h"

namespace tessarin {
namespace {

namespace fs = std::filesystem;

class SaveAsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("tessarin-saveas-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        source = folder / "Recording.mov";
        write(source, "movie bytes");
    }
    void TearDown() override { fs::remove_all(folder); }

    static void write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::string text;
        std::getline(in, text, '\0');
        return text;
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {})); }

    std::optional<std::string> save(const fs::path& destination) {
        testing::ManualExecutor main, background;
        std::optional<std::optional<std::string>> answer;
        saveRecordingCopy(background, main, source, destination, [&](std::optional<std::string> failure) { answer = failure; });
        EXPECT_FALSE(answer);  // never inside the call
        background.runAll();
        main.runAll();
        EXPECT_TRUE(answer);
        return answer.value_or("no answer");
    }

    fs::path folder;
    fs::path source;
};

TEST_F(SaveAsTest, CopiesToANewFile) {
    EXPECT_EQ(save(folder / "Copy.mov"), std::nullopt);
    EXPECT_EQ(read(folder / "Copy.mov"), "movie bytes");
    EXPECT_EQ(entries(), 2u);  // no temporary file left
}

TEST_F(SaveAsTest, ReplacesAnExistingDifferentFile) {
    write(folder / "Old.mov", "old");
    EXPECT_EQ(save(folder / "Old.mov"), std::nullopt);
    EXPECT_EQ(read(folder / "Old.mov"), "movie bytes");
    EXPECT_EQ(entries(), 2u);
}

TEST_F(SaveAsTest, TheSameFileCopiesNothingAlsoThroughALink) {
    const auto before = fs::last_write_time(source);
    EXPECT_EQ(save(source), std::nullopt);
    fs::create_symlink(source, folder / "Link.mov");
    EXPECT_EQ(save(folder / "Link.mov"), std::nullopt);
    EXPECT_EQ(read(source), "movie bytes");
    EXPECT_EQ(fs::last_write_time(source), before);
    EXPECT_TRUE(fs::is_symlink(folder / "Link.mov"));
    EXPECT_EQ(entries(), 2u);
}

TEST_F(SaveAsTest, AFailedCopyLeavesTheDestinationUntouched) {
    write(folder / "Keep.mov", "keep me");
    fs::remove(source);  // the source went away
    EXPECT_NE(save(folder / "Keep.mov"), std::nullopt);
    EXPECT_EQ(read(folder / "Keep.mov"), "keep me");
    EXPECT_EQ(entries(), 1u);
    EXPECT_NE(save(folder / "missing-folder" / "New.mov"), std::nullopt);
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
