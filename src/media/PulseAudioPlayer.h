#pragma once
// A movie's sound played through PulseAudio (or PipeWire's Pulse server)
// for the editor's preview. A thread of its own decodes the track from the
// play position (FfmpegAudioDecoder), scales it by the gain and writes it
// to a playback stream; the writes block at the server's pace. After each
// write the clock becomes the position of the sample being heard: what was
// written less what the server still holds (its latency). The picture
// follows that clock, so it stays with the sound whatever the machine's
// load. Past the track's end silence is written, so the clock runs on to
// the end of a longer picture; should the server go away, the wall clock
// takes over. Pausing drops what the server still holds.

#include <atomic>
#include <memory>
#include <thread>

#include "core/recording/MediaEngine.h"
#include "media/FfmpegAudioDecoder.h"

struct pa_simple;

namespace tessarin::media {

class PulseAudioPlayer final : public VideoAudioPlayer {
public:
    explicit PulseAudioPlayer(std::unique_ptr<FfmpegAudioDecoder> decoder);
    ~PulseAudioPlayer() override;

    bool play(double seconds, double gain) override;
    void pause() override;
    void setGain(double gain) override { gain_ = static_cast<float>(gain); }
    double clock() const override { return clock_; }

    // Sample frames handed to the server since the last play().
    int64_t framesWritten() const { return written_; }
    int sampleRate() const { return decoder_->sampleRate(); }

private:
    void run(double from);
    void keepTimeWithoutSound();

    std::unique_ptr<FfmpegAudioDecoder> decoder_;
    pa_simple* stream_ = nullptr;
    std::atomic<float> gain_{1.0f};
    std::atomic<double> clock_{0};
    std::atomic<int64_t> written_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The player of `movie`'s sound, or why there is none.
Expected<std::unique_ptr<VideoAudioPlayer>, RecordingError> openPulseAudioPlayer(const std::filesystem::path& movie);

}  // namespace tessarin::media
