#pragma once
// The recorder's video geometry, rates and limits. H.264 (4:2:0) needs even
// sizes; its largest level (6.2) bounds the frame at 139,264 macroblocks and
// a side at 8,192 pixels for every encoder we ship.

#include <cstdint>
#include <optional>

#include "core/recording/RecordingError.h"

namespace tessarin {

inline constexpr int64_t kMaxVideoSide = 8192;
inline constexpr int64_t kMaxVideoPixels = int64_t{139264} * 256;
inline constexpr double kDefaultRecordingFrameRate = 30;
inline constexpr double kMaxRecordingFrameRate = 120;

struct VideoSize {
    int64_t width = 0;
    int64_t height = 0;
    friend bool operator==(const VideoSize&, const VideoSize&) = default;
};

// One output side of a recording: `points` × `scale` rounded half away from
// zero, at least 2, an odd length raised by 1. Not finite or negative → 2;
// absurdly long lengths stop at kMaxVideoSide + 1 so checkVideoSize refuses
// them instead of overflowing.
int64_t evenPixelLength(double points, double scale);
VideoSize recordingVideoSize(double widthPoints, double heightPoints, double scale);

// videoInputRefused when H.264 cannot encode the size.
std::optional<RecordingError> checkVideoSize(VideoSize size);

// The frames per second the recorder runs at: zero, negative or not finite
// gives the default; above kMaxRecordingFrameRate is clamped; whole frames.
double clampedRecordingFrameRate(double framesPerSecond);

// Average H.264 bit rate in bits per second: 0.1 bit per pixel per frame,
// between 4 and 30 Mbit/s.
int64_t recordingVideoBitRate(double framesPerSecond, int64_t width, int64_t height);

inline constexpr int64_t kRecordingAudioBitRate = 128000;
inline constexpr int kRecordingAudioSampleRate = 44100;
inline constexpr int kRecordingAudioChannels = 1;

}  // namespace tessarin
