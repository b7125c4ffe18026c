#pragma once
// What the recorder's sources hand to its writer, and the ports between the
// recording pipeline and the platform: the screen source, the microphone
// and the movie encoder. The platform's implementations live in the media
// module; tests use substitutes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/common/Image.h"
#include "core/recording/RecordingError.h"
#include "core/recording/VideoGeometry.h"

namespace tessarin {

// One screen frame: 32-bit pixels in memory order B, G, R, X, rows top to
// bottom `bytesPerRow` apart, taken at `timestampNs` on the monotonic clock.
struct VideoFrame {
    int64_t width = 0;
    int64_t height = 0;
    size_t bytesPerRow = 0;
    std::vector<uint8_t> bytes;
    int64_t timestampNs = 0;

    bool isWellFormed() const {
        return width > 0 && height > 0 && bytesPerRow >= static_cast<size_t>(width) * 4 &&
               bytes.size() >= bytesPerRow * static_cast<size_t>(height);
    }
};

// How many frames may wait in the movie writer's queue at a time.
inline constexpr size_t kMaxQueuedVideoFrames = 3;

// Now on the monotonic clock that frames and samples are stamped with.
inline int64_t monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The frames a source fills and hands to the writer, reused once the writer
// lets go of them. Only the source's thread takes frames, so one that no one
// else holds stays free while it is filled.
class VideoFramePool {
public:
    // Most frames in use at once: those waiting in the writer's queue, one
    // being encoded, one being filled.
    static constexpr size_t kSize = kMaxQueuedVideoFrames + 2;

    // A free frame of this shape; a new one while fewer than kSize exist
    // (made as first needed, so the first frame waits for no pool), none
    // when every frame is in use.
    std::shared_ptr<VideoFrame> take(int64_t width, int64_t height, size_t bytesPerRow) {
        for (auto& frame : frames_) {
            if (frame.use_count() == 1) return frame;
        }
        if (frames_.size() >= kSize) return nullptr;
        auto frame = std::make_shared<VideoFrame>();
        frame->width = width;
        frame->height = height;
        frame->bytesPerRow = bytesPerRow;
        frame->bytes.resize(bytesPerRow * static_cast<size_t>(height));
        frames_.push_back(frame);
        return frame;
    }
    void clear() { frames_.clear(); }

private:
    std::vector<std::shared_ptr<VideoFrame>> frames_;
};

// Mono samples in [-1, 1]; the first one taken at `timestampNs` on the
// monotonic clock.
struct AudioChunk {
    std::vector<float> samples;
    int sampleRate = kRecordingAudioSampleRate;
    int64_t timestampNs = 0;
};

// `frame` as an RGBA image (the poster frame); nothing when malformed.
std::optional<Image> imageFromVideoFrame(const VideoFrame& frame);

// Copies `frame` into `size` (not smaller than the frame), repeating the
// last column and row into the padding, so the encoder never sees pixels
// from outside the selection or uninitialised ones.
void padVideoFrame(const VideoFrame& frame, VideoSize size, std::vector<uint8_t>& out, size_t outBytesPerRow);

using RecordingErrorHandler = std::function<void(const RecordingError&)>;

class ScreenRecordingSource {
public:
    using FrameHandler = std::function<void(std::shared_ptr<const VideoFrame>)>;
    virtual ~ScreenRecordingSource() = default;
    // Set before start(); called on the source's own thread.
    virtual void setHandlers(FrameHandler onFrame, RecordingErrorHandler onError) = 0;
    virtual std::optional<RecordingError> start() = 0;
    // No handler runs once stop() has returned. Idempotent.
    virtual void stop() = 0;
};

class MicrophoneSource {
public:
    using AudioHandler = std::function<void(AudioChunk)>;
    virtual ~MicrophoneSource() = default;
    virtual void setHandlers(AudioHandler onAudio, RecordingErrorHandler onError) = 0;
    virtual std::optional<RecordingError> start() = 0;
    virtual void stop() = 0;
};

struct MovieSettings {
    VideoSize videoSize;
    double frameRate = kDefaultRecordingFrameRate;
    int64_t videoBitRate = 0;
    bool includesAudio = false;
    int audioSampleRate = kRecordingAudioSampleRate;
    int64_t audioBitRate = kRecordingAudioBitRate;
};

// Encodes and muxes one movie. Called on the writer's thread only.
class MovieEncoder {
public:
    virtual ~MovieEncoder() = default;
    // A frame of exactly the movie's size at `ptsMicroseconds` (increasing).
    virtual std::optional<RecordingError> writeVideo(const VideoFrame& frame, int64_t ptsMicroseconds) = 0;
    // Samples continuing the audio track without a gap.
    virtual std::optional<RecordingError> writeAudio(std::span<const float> samples) = 0;
    // Flushes the encoders, writes the trailer and closes the file.
    virtual std::optional<RecordingError> finish() = 0;
    // Closes without finishing (the file is about to be removed).
    virtual void abandon() noexcept = 0;
};

// Opens an encoder writing through `fd`, a file the writer has claimed
// (it stays open, owned by the writer, until the encoder is gone).
// Nothing, with `error` set, when the encoder cannot be set up.
using MovieEncoderFactory =
    std::function<std::unique_ptr<MovieEncoder>(int fd, const MovieSettings& settings, std::optional<RecordingError>& error)>;

}  // namespace tessarin
