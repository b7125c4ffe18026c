#include "core/recording/RecordingTimeline.h"

#include <cmath>

namespace tessarin {

std::optional<int64_t> RecordingTimeline::placeVideo(int64_t timestampNs) {
    if (!startNs_) startNs_ = timestampNs;
    const int64_t microseconds = (timestampNs - *startNs_) / 1000;
    if (lastVideoMicroseconds_ && microseconds <= *lastVideoMicroseconds_) return std::nullopt;
    lastVideoMicroseconds_ = microseconds;
    return microseconds;
}

std::optional<AudioPlacement> RecordingTimeline::placeAudio(int64_t timestampNs, size_t count, int sampleRate) {
    if (!startNs_ || sampleRate <= 0 || count == 0) return std::nullopt;
    const auto stampedAt = static_cast<int64_t>(
        std::llround(static_cast<double>(timestampNs - *startNs_) * sampleRate / 1e9));
    const auto length = static_cast<int64_t>(count);
    AudioPlacement placement;
    if (!audioAnchored_) {
        if (stampedAt + length <= 0) return std::nullopt;
        if (stampedAt < 0) {
            placement.skip = static_cast<size_t>(-stampedAt);
        } else {
            placement.silenceBefore = stampedAt;
        }
        audioAnchored_ = true;
    } else {
        const int64_t ahead = stampedAt - audioSamples_;
        if (ahead > static_cast<int64_t>(kAudioReanchorSeconds * sampleRate)) placement.silenceBefore = ahead;
    }
    audioSamples_ += placement.silenceBefore + length - static_cast<int64_t>(placement.skip);
    return placement;
}

}  // namespace tessarin
