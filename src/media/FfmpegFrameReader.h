#pragma once
// The editor's frames of one movie through FFmpeg (see VideoFrameReader).

#include <filesystem>

#include "core/recording/MediaEngine.h"

namespace tessarin::media {

Expected<std::unique_ptr<VideoFrameReader>, RecordingError> openFfmpegFrameReader(const std::filesystem::path& movie);

}  // namespace tessarin::media
