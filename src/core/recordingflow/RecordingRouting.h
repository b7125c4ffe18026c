#pragma once
// What happens to a kept recording: the completion sound (when the
// preferences allow it) and the video thumbnail (a Quick Access thumbnail
// with play/edit, "Reveal", "Save As" and "Close"), and
// "Save As", which copies the movie without ever leaving a half-written
// destination (see copyRecordingSafely).

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/common/Executor.h"
#include "core/recording/RecordingCoordinator.h"

namespace tessarin {

struct RecordingRoutingPorts {
    std::function<bool()> soundAllowed;
    std::function<void()> playSound;
    std::function<void(const RecordingResult&)> showThumbnail;
};
void routeSuccessfulRecording(const RecordingResult& result, const RecordingRoutingPorts& ports);

// The file a "Save As" writes: the chosen path, with ".mov" added when the
// user typed a name without a movie extension.
std::filesystem::path saveAsDestination(const std::filesystem::path& chosen);

// Copies `source` to `destination` on `background`; `done` gets nothing on
// success (or when both are the same file) and the reason otherwise, on `main`.
void saveRecordingCopy(Executor& background, Executor& main, std::filesystem::path source,
                       std::filesystem::path destination, std::function<void(std::optional<std::string>)> done);

}  // namespace tessarin
