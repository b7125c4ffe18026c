#include "media/PulseAudioPlayer.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "core/common/Log.h"

namespace tessarin::media {

namespace {

// What the server holds ahead of the speaker: short, so a pause or a seek
// is heard at once, long enough not to run dry under load.
constexpr double kBufferSeconds = 0.1;
// Silence written at a time past the track's end.
constexpr size_t kSilenceFrames = 1024;

}  // namespace

PulseAudioPlayer::PulseAudioPlayer(std::unique_ptr<FfmpegAudioDecoder> decoder) : decoder_(std::move(decoder)) {}

PulseAudioPlayer::~PulseAudioPlayer() { pause(); }

bool PulseAudioPlayer::play(double seconds, double gain) {
    pause();
    const double from = std::max(0.0, std::isfinite(seconds) ? seconds : 0.0);
    clock_ = from;
    written_ = 0;
    gain_ = static_cast<float>(gain);
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = static_cast<uint32_t>(decoder_->sampleRate());
    spec.channels = static_cast<uint8_t>(decoder_->channels());
    const auto frameBytes = static_cast<uint32_t>(sizeof(float)) * spec.channels;
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<uint32_t>(-1);
    buffer.tlength = static_cast<uint32_t>(kBufferSeconds * spec.rate) * frameBytes;
    buffer.prebuf = 0;
    buffer.minreq = static_cast<uint32_t>(-1);
    buffer.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    stream_ = pa_simple_new(nullptr, "Tessarin", PA_STREAM_PLAYBACK, nullptr, "Video preview", &spec, nullptr,
                            &buffer, &error);
    if (!stream_) {
        logLine(LogLevel::info, LogCategory::capture, std::string("video_editor.sound unavailable error=") + pa_strerror(error));
        return false;
    }
    decoder_->seek(from);
    stopping_ = false;
    thread_ = std::thread([this, from] { run(from); });
    return true;
}

void PulseAudioPlayer::pause() {
    stopping_ = true;
    // A blocked write returns as soon as the server has taken a little more.
    if (thread_.joinable()) thread_.join();
    if (!stream_) return;
    int error = 0;
    pa_simple_flush(stream_, &error);
    pa_simple_free(stream_);
    stream_ = nullptr;
}

void PulseAudioPlayer::run(double from) {
    const int channels = decoder_->channels();
    const double rate = decoder_->sampleRate();
    std::vector<float> samples;
    bool trackEnded = false;
    while (!stopping_) {
        samples.clear();
        size_t frames = trackEnded ? 0 : decoder_->read(samples);
        if (frames == 0) {
            trackEnded = true;
            frames = kSilenceFrames;
            samples.assign(frames * static_cast<size_t>(channels), 0.0f);
        }
        const float gain = gain_;
        if (gain != 1.0f) {
            for (float& sample : samples) sample = std::clamp(sample * gain, -1.0f, 1.0f);
        }
        int error = 0;
        if (pa_simple_write(stream_, samples.data(), samples.size() * sizeof(float), &error) < 0) {
            logLine(LogLevel::info, LogCategory::capture, std::string("video_editor.sound stopped error=") + pa_strerror(error));
            return keepTimeWithoutSound();
        }
        written_ += static_cast<int64_t>(frames);
        const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
        if (latency == static_cast<pa_usec_t>(-1)) continue;
        const double heard = from + static_cast<double>(written_) / rate - static_cast<double>(latency) / 1e6;
        // Never backwards: the picture would have to seek back for it.
        if (heard > clock_) clock_ = heard;
    }
}

// The server went away while playing: the clock runs on by the wall clock
// from where the sound stopped, so the picture does not freeze.
void PulseAudioPlayer::keepTimeWithoutSound() {
    const double from = clock_;
    const auto since = std::chrono::steady_clock::now();
    while (!stopping_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        clock_ = from + std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    }
}

Expected<std::unique_ptr<VideoAudioPlayer>, RecordingError> openPulseAudioPlayer(const std::filesystem::path& movie) {
    auto decoder = FfmpegAudioDecoder::open(movie);
    if (!decoder) return unexpected(decoder.error());
    return std::unique_ptr<VideoAudioPlayer>(std::make_unique<PulseAudioPlayer>(std::move(*decoder)));
}

}  // namespace tessarin::media
