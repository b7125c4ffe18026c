#include "media/PulseMicrophone.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>

#include "core/common/Log.h"

namespace tessarin::media {

namespace {

constexpr size_t kChunkSamples = 1024;

}  // namespace

PulseMicrophone::PulseMicrophone(std::string serverName) : serverName_(std::move(serverName)) {}

PulseMicrophone::~PulseMicrophone() { stop(); }

void PulseMicrophone::setHandlers(AudioHandler onAudio, RecordingErrorHandler onError) {
    onAudio_ = std::move(onAudio);
    onError_ = std::move(onError);
}

std::optional<RecordingError> PulseMicrophone::start() {
    if (thread_.joinable()) return std::nullopt;
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = kRecordingAudioSampleRate;
    spec.channels = kRecordingAudioChannels;
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<uint32_t>(-1);
    buffer.fragsize = static_cast<uint32_t>(kChunkSamples * sizeof(float));
    int error = 0;
    stream_ = pa_simple_new(serverName_.empty() ? nullptr : serverName_.c_str(), "Tessarin", PA_STREAM_RECORD,
                            nullptr, "Screen recording", &spec, nullptr, &buffer, &error);
    if (!stream_) {
        logLine(LogLevel::error, LogCategory::capture,
                std::string("recording.microphone unavailable error=") + pa_strerror(error));
        return recording_failure::noMicrophone();
    }
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
    return std::nullopt;
}

void PulseMicrophone::stop() {
    stopping_ = true;
    // A read returns within one chunk (23 ms) while the server is alive.
    if (thread_.joinable()) thread_.join();
    if (stream_) {
        pa_simple_free(stream_);
        stream_ = nullptr;
    }
}

void PulseMicrophone::run() {
    while (!stopping_) {
        AudioChunk chunk;
        chunk.samples.resize(kChunkSamples);
        int error = 0;
        if (pa_simple_read(stream_, chunk.samples.data(), kChunkSamples * sizeof(float), &error) < 0) {
            if (onError_ && !stopping_) {
                onError_(RecordingError::recordingFailed(std::string("the microphone stopped: ") + pa_strerror(error)));
            }
            return;
        }
        // A read returns as soon as a fragment (one chunk) was captured, so
        // its first sample is one chunk old. The stream's reported latency
        // is not used: for the first second or so it can be off by half a
        // second, which would shift the sound against the picture.
        const int64_t readAt = monotonicNanoseconds();
        const int64_t length = static_cast<int64_t>(kChunkSamples) * 1'000'000'000 / kRecordingAudioSampleRate;
        chunk.timestampNs = readAt - length;
        chunk.sampleRate = kRecordingAudioSampleRate;
        if (onAudio_) onAudio_(std::move(chunk));
    }
}

}  // namespace tessarin::media
