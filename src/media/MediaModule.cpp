// libtessarin-media.so: the media engine behind MediaEngine. Every entry
// runs behind the module barrier, so nothing thrown here crosses into the
// program (see core/common/ModuleBarrier.h).

#include "core/common/ModuleBarrier.h"
#include "core/recording/MediaEngine.h"
#include "media/FfmpegFrameReader.h"
#include "media/FfmpegMovieEncoder.h"
#include "media/PulseAudioPlayer.h"
#include "media/PulseMicrophone.h"
#include "media/VideoExporter.h"
#include "media/X11ScreenRecordingSource.h"

namespace tessarin::media {
namespace {

RecordingError crossed(const std::optional<std::string>& thrown) {
    return RecordingError::recordingFailed(thrown.value_or("an unknown failure"));
}

class FfmpegMediaEngine final : public MediaEngine {
public:
    std::unique_ptr<MovieEncoder> makeMovieEncoder(int fd, const MovieSettings& settings,
                                                   std::optional<RecordingError>& error) override {
        std::unique_ptr<MovieEncoder> encoder;
        if (auto thrown = runBehindModuleBarrier([&] { encoder = FfmpegMovieEncoder::open(fd, settings, error); })) {
            error = crossed(thrown);
            return nullptr;
        }
        return encoder;
    }

    std::unique_ptr<ScreenRecordingSource> makeScreenSource(const ScreenSourceSettings& settings) override {
        std::unique_ptr<ScreenRecordingSource> source;
        runBehindModuleBarrier([&] { source = std::make_unique<X11ScreenRecordingSource>(settings); });
        return source;
    }

    std::unique_ptr<MicrophoneSource> makeMicrophone(const std::string& serverName) override {
        std::unique_ptr<MicrophoneSource> source;
        runBehindModuleBarrier([&] { source = std::make_unique<PulseMicrophone>(serverName); });
        return source;
    }

    std::optional<Image> posterFrame(const std::filesystem::path& movie) override {
        std::optional<Image> image;
        runBehindModuleBarrier([&] { image = firstVideoFrame(movie); });
        return image;
    }

    Expected<VideoEditSource, RecordingError> openVideo(const std::filesystem::path& movie) override {
        std::optional<Expected<VideoEditSource, RecordingError>> opened;
        if (auto thrown = runBehindModuleBarrier([&] { opened.emplace(openVideoSource(movie)); })) {
            return unexpected(crossed(thrown));
        }
        return std::move(*opened);
    }

    Expected<std::unique_ptr<VideoFrameReader>, RecordingError> openFrameReader(const std::filesystem::path& movie) override {
        std::optional<Expected<std::unique_ptr<VideoFrameReader>, RecordingError>> opened;
        if (auto thrown = runBehindModuleBarrier([&] { opened.emplace(openFfmpegFrameReader(movie)); })) {
            return unexpected(crossed(thrown));
        }
        return std::move(*opened);
    }

    Expected<std::unique_ptr<VideoAudioPlayer>, RecordingError> openAudioPlayer(
        const std::filesystem::path& movie) override {
        std::optional<Expected<std::unique_ptr<VideoAudioPlayer>, RecordingError>> opened;
        if (auto thrown = runBehindModuleBarrier([&] { opened.emplace(openPulseAudioPlayer(movie)); })) {
            return unexpected(crossed(thrown));
        }
        return std::move(*opened);
    }

    Expected<VideoEditResult, RecordingError> exportVideo(const VideoEditSource& source, const VideoEditState& state,
                                                          const std::atomic<bool>& cancel,
                                                          const ExportProgress& progress) override {
        std::optional<Expected<VideoEditResult, RecordingError>> exported;
        if (auto thrown = runBehindModuleBarrier(
                [&] { exported.emplace(media::exportVideo(source, state, cancel, progress)); })) {
            return unexpected(crossed(thrown));
        }
        return std::move(*exported);
    }
};

}  // namespace
}  // namespace tessarin::media

extern "C" __attribute__((visibility("default"))) tessarin::MediaEngine* tessarin_media_create_engine() {
    tessarin::MediaEngine* engine = nullptr;
    tessarin::runBehindModuleBarrier([&] {
        // Failures reach the caller as errors; the libraries' own chatter stays out of its output.
        av_log_set_level(AV_LOG_QUIET);
        engine = new tessarin::media::FfmpegMediaEngine();
    });
    return engine;
}
