#pragma once
// The video editor's model: the source recording, the edits the user chose
// (trim range, size preset, quality, audio treatment) and what they imply
// (output size, labels, the size estimate, the edited file's name).

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/common/Image.h"
#include "core/recording/VideoGeometry.h"

namespace tessarin {

// A span of media time in seconds.
struct MediaTimeRange {
    double start = 0;
    double duration = 0;
    double end() const { return start + duration; }
    friend bool operator==(const MediaTimeRange&, const MediaTimeRange&) = default;
};

struct VideoEditSource {
    std::filesystem::path originalURL;
    Image posterFrame;
    double duration = 0;  // seconds
    bool hasAudio = false;
    VideoSize sourceSize;
    double nominalFrameRate = 0;
};

// Persisted by name (rawName); append new cases only.
enum class VideoDimensionPreset { original, p1440, p1080, p720, p480, custom };
inline constexpr std::array kVideoDimensionPresets = {VideoDimensionPreset::original, VideoDimensionPreset::p1440,
                                                      VideoDimensionPreset::p1080,    VideoDimensionPreset::p720,
                                                      VideoDimensionPreset::p480,     VideoDimensionPreset::custom};
std::string_view rawName(VideoDimensionPreset preset);
std::string presetTitle(VideoDimensionPreset preset);
// The longer side a numbered preset limits the output to; 0 for original and custom.
int64_t presetTargetLength(VideoDimensionPreset preset);
VideoSize resolvedSize(VideoDimensionPreset preset, VideoSize sourceSize);

// Persisted by name (rawName); append new cases only.
enum class VideoAudioMode { preserve, mono, mute, customVolume };
inline constexpr std::array kVideoAudioModes = {VideoAudioMode::preserve, VideoAudioMode::mono, VideoAudioMode::mute,
                                                VideoAudioMode::customVolume};
std::string_view rawName(VideoAudioMode mode);
std::string audioModeTitle(VideoAudioMode mode);

// Each side rounded half away from zero, down to even, at least 2 and at
// most kMaxVideoSide (the editor's sizes never run past what H.264 takes).
VideoSize evenPixelSize(double width, double height);

enum class ExportQualityTier { low, medium, highest };

struct VideoEditState {
    MediaTimeRange selectedTimeRange;
    double quality = 0.62;
    VideoDimensionPreset dimensionPreset = VideoDimensionPreset::original;
    VideoSize customSize;
    VideoAudioMode audioMode = VideoAudioMode::preserve;
    double volumeMultiplier = 1.0;

    // The whole recording (on a 1/600 s grid), the defaults otherwise.
    static VideoEditState initial(const VideoEditSource& source);

    VideoSize resolvedOutputSize(VideoSize sourceSize) const;
    // Width (at least 2) sets the custom preset and the height that keeps
    // the source's aspect; updateCustomHeight the other way round. A side
    // that would pass kMaxVideoSide shrinks the pair to fit.
    void updateCustomWidth(double width, VideoSize sourceSize);
    void updateCustomHeight(double height, VideoSize sourceSize);

    // The export's audio volume: 0 muted, the multiplier for customVolume, else 1.
    double exportVolume() const;
    // The audio bit rate the estimate assumes for a source with audio.
    double estimatedAudioBitRate() const;
    // The video bit rate the estimate assumes; the exporter aims at it.
    double estimatedVideoBitRate(const VideoEditSource& source) const;
    int64_t estimatedFileSizeBytes(const VideoEditSource& source) const;
    std::string qualityLabel() const;
    ExportQualityTier qualityTier() const;
    // The trim range inside the source: start in [0, duration], end ≤ duration.
    MediaTimeRange clampedTimeRange(double sourceDuration) const;
};

// "Estimated file size: 12.3 MB".
std::string estimatedFileSizeText(int64_t bytes);
// "%02d:%02d.%d": minutes, seconds and tenths of floor(t × 10).
std::string videoTimeText(double seconds);
// "00:01.0 - 00:04.5".
std::string videoRangeText(MediaTimeRange range);

// "<name> Edited.<ext>" beside the source ("mov" without an extension),
// then " Edited 2", " Edited 3", ... while `exists` says the name is taken.
std::filesystem::path makeEditedURL(const std::filesystem::path& source,
                                    const std::function<bool(const std::filesystem::path&)>& exists);
std::filesystem::path makeEditedURL(const std::filesystem::path& source);

}  // namespace tessarin
