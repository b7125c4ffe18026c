#pragma once
// Puts the sources' monotonic timestamps on the movie's timeline. The first
// video frame is time zero. Video times only go forwards: a frame stamped
// at or before the previous one is dropped. Audio follows its own sample
// count (the clock of the device that made it); its timestamps only anchor
// it: the first chunk after the first frame starts where its stamp says
// (audio before the first frame is cut off), and later chunks continue the
// count, re-anchored only forwards, when the stamps run ahead of it by more
// than kAudioReanchorSeconds (samples were lost), by writing silence.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tessarin {

inline constexpr double kAudioReanchorSeconds = 0.1;

struct AudioPlacement {
    int64_t silenceBefore = 0;  // samples of silence to write first
    size_t skip = 0;            // leading samples of the chunk to drop
};

class RecordingTimeline {
public:
    // The frame's time in microseconds from the first frame; nothing when
    // it does not come after the previous frame.
    std::optional<int64_t> placeVideo(int64_t timestampNs);
    // Where a chunk of `count` samples at `sampleRate` goes; nothing when
    // it lies wholly before the first frame (or no frame came yet).
    std::optional<AudioPlacement> placeAudio(int64_t timestampNs, size_t count, int sampleRate);

    bool hasStarted() const { return startNs_.has_value(); }
    // Microseconds from the first to the last placed frame.
    int64_t videoDurationMicroseconds() const { return lastVideoMicroseconds_.value_or(0); }
    int64_t audioSamplesPlaced() const { return audioSamples_; }

private:
    std::optional<int64_t> startNs_;
    std::optional<int64_t> lastVideoMicroseconds_;
    int64_t audioSamples_ = 0;
    bool audioAnchored_ = false;
};

}  // namespace tessarin
