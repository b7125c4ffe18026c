// The video editor's model against a scripted media engine: its texts and
// the export's busy flag.

#include <gtest/gtest.h>

#include <thread>

#include "core/recording/VideoEditorModel.h"

namespace tessarin {
namespace {

class ScriptedEngine final : public MediaEngine {
public:
    std::function<void()> duringExport;
    std::optional<VideoEditState> exportedWith;

    std::unique_ptr<MovieEncoder> makeMovieEncoder(int, const MovieSettings&, std::optional<RecordingError>&) override {
        return nullptr;
    }
    std::unique_ptr<ScreenRecordingSource> makeScreenSource(const ScreenSourceSettings&) override { return nullptr; }
    std::unique_ptr<MicrophoneSource> makeMicrophone(const std::string&) override { return nullptr; }
    std::optional<Image> posterFrame(const std::filesystem::path&) override { return std::nullopt; }
    Expected<VideoEditSource, RecordingError> openVideo(const std::filesystem::path&) override {
        return unexpected(recording_failure::videoTrackUnavailable());
    }
    Expected<VideoEditResult, RecordingError> exportVideo(const VideoEditSource& source, const VideoEditState& state,
                                                          const std::atomic<bool>& cancel,
                                                          const ExportProgress&) override {
        exportedWith = state;
        // Runs once: an export started from inside finds none to run.
        if (auto during = std::exchange(duringExport, nullptr)) during();
        if (cancel) return unexpected(recording_failure::exportCancelled());
        VideoEditResult result;
        result.exportedURL = makeEditedURL(source.originalURL, [](const auto&) { return false; });
        result.duration = state.selectedTimeRange.duration;
        return result;
    }
};

VideoEditSource tenSecondsOf1080p() {
    return VideoEditSource{"/r/Recording.mov", Image{}, 10, true, {1920, 1080}, 30};
}

TEST(VideoEditorModelTest, TextsFollowTheEdits) {
    VideoEditorModel model(tenSecondsOf1080p());
    EXPECT_EQ(model.estimatedSizeText(), "Estimated file size: 5.5 MB");
    model.editState().dimensionPreset = VideoDimensionPreset::p720;
    model.editState().selectedTimeRange = {2, 20};
    model.editState().quality = 0.9;
    EXPECT_EQ(model.outputSizeText(), "720 × 404");
    EXPECT_EQ(model.selectedRangeText(), "00:02.0 - 00:10.0") << "the range shown is the one exported";
    EXPECT_EQ(model.qualityLabel(), "High");
}

TEST(VideoEditorModelTest, ExportingIsTrueWhileTheExportRunsAndOneAtATime) {
    VideoEditorModel model(tenSecondsOf1080p());
    ScriptedEngine engine;
    std::atomic<bool> cancel{false};
    std::optional<Expected<VideoEditResult, RecordingError>> second;
    bool exportingDuring = false;
    engine.duringExport = [&] {
        exportingDuring = model.isExporting();
        second.emplace(model.exportEdits(engine, cancel));
    };
    model.editState().audioMode = VideoAudioMode::mute;
    auto first = model.exportEdits(engine, cancel);
    ASSERT_TRUE(first) << first.error().description();
    EXPECT_EQ(first->exportedURL, "/r/Recording Edited.mov");
    EXPECT_TRUE(exportingDuring);
    ASSERT_TRUE(second);
    EXPECT_FALSE(*second) << "a second export while one runs is refused";
    EXPECT_FALSE(model.isExporting());
    ASSERT_TRUE(engine.exportedWith);
    EXPECT_EQ(engine.exportedWith->audioMode, VideoAudioMode::mute);
    cancel = true;
    auto cancelled = model.exportEdits(engine, cancel);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(cancelled.error(), recording_failure::exportCancelled());
    EXPECT_FALSE(model.isExporting());
}

}  // namespace
}  // namespace tessarin
