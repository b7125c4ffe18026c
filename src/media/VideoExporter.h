#pragma once
// Reading recordings back: what the editor shows (size, rate, duration,
// audio, a poster frame), and the export that trims, resizes and
// re-encodes a recording into a new file beside it.

#include <atomic>
#include <filesystem>
#include <optional>

#include "core/recording/MediaEngine.h"

namespace tessarin::media {

Expected<VideoEditSource, RecordingError> openVideoSource(const std::filesystem::path& movie);
std::optional<Image> firstVideoFrame(const std::filesystem::path& movie);

// The output's container follows the source's extension (an .mp4 is
// written as MP4, anything else as a QuickTime movie). The output name is
// claimed by an exclusive create and removed again on failure or cancel.
Expected<VideoEditResult, RecordingError> exportVideo(const VideoEditSource& source, const VideoEditState& state,
                                                      const std::atomic<bool>& cancel, const ExportProgress& progress);

}  // namespace tessarin::media
