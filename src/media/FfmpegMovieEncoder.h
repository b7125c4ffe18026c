#pragma once
// The recording's movie: H.264 (libx264) and AAC (FFmpeg's encoder) in a
// fragmented QuickTime movie written through a file descriptor. A fragment
// ends at each key frame (every 2 s), so a crash, kill or full disk loses at
// most the fragment being written; the index needs no trailer.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/recording/RecordingMedia.h"
#include "media/FfmpegHandles.h"

namespace tessarin::media {

class FfmpegMovieEncoder final : public MovieEncoder {
public:
    static std::unique_ptr<FfmpegMovieEncoder> open(int fd, const MovieSettings& settings,
                                                    std::optional<RecordingError>& error);
    ~FfmpegMovieEncoder() override;

    std::optional<RecordingError> writeVideo(const VideoFrame& frame, int64_t ptsMicroseconds) override;
    std::optional<RecordingError> writeAudio(std::span<const float> samples) override;
    std::optional<RecordingError> finish() override;
    void abandon() noexcept override;

private:
    FfmpegMovieEncoder() = default;
    std::optional<RecordingError> setUpVideo(const MovieSettings& settings);
    std::optional<RecordingError> setUpAudio(const MovieSettings& settings);
    std::optional<RecordingError> encodeAudioFrame(int sampleCount);
    // Sends `frame` (null to flush) and writes every packet that comes out.
    std::optional<RecordingError> encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    void release() noexcept;
    static int writePacket(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    int fd_ = -1;
    int writeErrno_ = 0;
    AVFormatContext* output_ = nullptr;
    AVIOContext* io_ = nullptr;
    CodecContextPtr video_;
    CodecContextPtr audio_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    SwsPtr scaler_;
    FramePtr videoFrame_;
    FramePtr audioFrame_;
    PacketPtr packet_;
    std::vector<float> pendingAudio_;
    int64_t audioSamplesEncoded_ = 0;
    int64_t lastVideoPts_ = -1;
    bool headerWritten_ = false;
};

}  // namespace tessarin::media
