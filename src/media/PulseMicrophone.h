#pragma once
// The microphone through PulseAudio (and PipeWire's Pulse server): the
// default input as 44.1 kHz mono float samples, read in 1024-sample chunks
// on the source's own thread. Each chunk is stamped with the monotonic time
// its first sample was taken: the read's completion less the chunk's length.
// The stream's reported latency is not trusted (see the .cpp).

#include <atomic>
#include <string>
#include <thread>

#include "core/recording/MediaEngine.h"

struct pa_simple;

namespace tessarin::media {

class PulseMicrophone final : public MicrophoneSource {
public:
    explicit PulseMicrophone(std::string serverName);
    ~PulseMicrophone() override;

    void setHandlers(AudioHandler onAudio, RecordingErrorHandler onError) override;
    std::optional<RecordingError> start() override;
    void stop() override;

private:
    void run();

    std::string serverName_;
    AudioHandler onAudio_;
    RecordingErrorHandler onError_;
    pa_simple* stream_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace tessarin::media
