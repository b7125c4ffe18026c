#pragma once
// A movie's sound track read back as interleaved 32-bit float samples at
// the track's own rate and channel count, from any point: the editor's
// preview plays it through the sound server (PulseAudioPlayer).

#include <filesystem>
#include <memory>
#include <vector>

#include "core/common/Expected.h"
#include "core/recording/RecordingError.h"
#include "media/FfmpegDecoding.h"

namespace tessarin::media {

class FfmpegAudioDecoder {
public:
    // The movie's sound; "This recording has no sound." when it has none.
    static Expected<std::unique_ptr<FfmpegAudioDecoder>, RecordingError> open(const std::filesystem::path& movie);

    int sampleRate() const { return rate_; }
    int channels() const { return channels_; }
    // The next read starts with the sample at `seconds` (movie time, from
    // the track's start).
    void seek(double seconds);
    // Appends the next decoded samples to `out`; the number of frames (one
    // sample per channel) appended, 0 at the end of the track.
    size_t read(std::vector<float>& out);

private:
    explicit FfmpegAudioDecoder(Input input);
    bool isReady() const { return packet_ && frame_ && resampler_; }
    // Converts one decoded frame, dropping what lies before the seek target.
    size_t convert(const AVFrame* frame, std::vector<float>& out);

    Input input_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_;
    FramePtr frame_;
    SwrPtr resampler_;
    int rate_ = 0;
    int channels_ = 0;
    double startSeconds_ = 0;
    int64_t skipFrames_ = 0;  // still to drop after a seek
    double target_ = 0;
    bool seeking_ = false;
    bool ended_ = false;
};

}  // namespace tessarin::media
