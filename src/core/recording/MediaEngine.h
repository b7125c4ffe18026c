#pragma once
// The recorder's and the video exporter's way into the media libraries
// (FFmpeg, PulseAudio) and the screen. The engine lives in the loadable
// module libtessarin-media.so so that no other command pays for loading
// those libraries; loadMediaEngine() brings it in on first use.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/recording/RecordingMedia.h"
#include "core/recording/VideoEditModel.h"

namespace tessarin {

struct ScreenSourceSettings {
    std::string displayName;  // as in DISPLAY
    PixelRect area;           // root pixels
    double frameRate = kDefaultRecordingFrameRate;
    bool showsCursor = true;
};

struct VideoEditResult {
    std::filesystem::path exportedURL;
    std::shared_ptr<const Image> posterFrame;
    double duration = 0;
    bool hadAudioTrack = false;
};

// Export progress in [0, 1], called on the exporting thread.
using ExportProgress = std::function<void(double)>;

// Frames of one movie at any time, for the editor's preview, playback and
// strip. Forward steps continue decoding where the last frame was; a jump
// back, or far ahead, seeks to the key frame before it. One thread at a time.
class VideoFrameReader {
public:
    virtual ~VideoFrameReader() = default;
    // The frame on screen at `seconds` (the last one past the end), scaled
    // to fit `maxWidth` × `maxHeight` with its aspect kept (0: full size).
    virtual std::optional<Image> frameAt(double seconds, int64_t maxWidth = 0, int64_t maxHeight = 0) = 0;
};

// A movie's sound for the editor's preview, played on a thread of its own.
// The picture follows clock(), the movie time being heard. One thread at a
// time calls it.
class VideoAudioPlayer {
public:
    virtual ~VideoAudioPlayer() = default;
    // Plays from `seconds` (movie time) scaled by `gain` (0 plays silence,
    // so the clock still runs). False when no sound can be played (no sound
    // server): the caller then keeps its own time.
    virtual bool play(double seconds, double gain) = 0;
    // Stops at once, dropping what the sound server still holds.
    virtual void pause() = 0;
    virtual void setGain(double gain) = 0;
    // The movie time being heard; the start until the first sample is.
    virtual double clock() const = 0;
};

class MediaEngine {
public:
    virtual ~MediaEngine() = default;
    // An encoder for the recording's movie: H.264 and AAC in a fragmented
    // QuickTime movie, so a crash loses at most the last fragment.
    virtual std::unique_ptr<MovieEncoder> makeMovieEncoder(int fd, const MovieSettings& settings,
                                                           std::optional<RecordingError>& error) = 0;
    virtual std::unique_ptr<ScreenRecordingSource> makeScreenSource(const ScreenSourceSettings& settings) = 0;
    // The default input of the sound server; `serverName` empty is the default server.
    virtual std::unique_ptr<MicrophoneSource> makeMicrophone(const std::string& serverName) = 0;
    // A frame near the start of a movie, as a poster frame.
    virtual std::optional<Image> posterFrame(const std::filesystem::path& movie) = 0;
    // What the editor needs to know about a movie.
    virtual Expected<VideoEditSource, RecordingError> openVideo(const std::filesystem::path& movie) = 0;
    // A reader of the movie's frames.
    virtual Expected<std::unique_ptr<VideoFrameReader>, RecordingError> openFrameReader(const std::filesystem::path& movie) {
        (void)movie;
        return unexpected(RecordingError::unsupported());
    }
    // A player of the movie's sound; an error when it has none.
    virtual Expected<std::unique_ptr<VideoAudioPlayer>, RecordingError> openAudioPlayer(
        const std::filesystem::path& movie) {
        (void)movie;
        return unexpected(RecordingError::unsupported());
    }
    // Trims, resizes and re-encodes `source` into makeEditedURL's file.
    // Returns when done, failed or `cancel` became true; a failed or
    // cancelled export leaves no file. The source is only read.
    virtual Expected<VideoEditResult, RecordingError> exportVideo(const VideoEditSource& source,
                                                                  const VideoEditState& state,
                                                                  const std::atomic<bool>& cancel,
                                                                  const ExportProgress& progress) = 0;
};

inline constexpr const char* kMediaModuleName = "media";  // libtessarin-media.so
inline constexpr const char* kMediaModuleEntryPoint = "tessarin_media_create_engine";

// The engine of the media module (kept for the life of the process), or why
// it could not be loaded. `modulePath` empty means the module's usual places.
Expected<MediaEngine*, std::string> loadMediaEngine(const std::string& modulePath = {});

// The writer's encoder factory over an engine.
MovieEncoderFactory movieEncoderFactory(MediaEngine& engine);

}  // namespace tessarin
