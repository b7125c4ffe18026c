#include "core/recordingflow/RecordingRouting.h"

#include <algorithm>
#include <cctype>

#include "core/common/Localization.h"
#include "core/recording/RecordingCopy.h"

namespace tessarin {

void routeSuccessfulRecording(const RecordingResult& result, const RecordingRoutingPorts& ports) {
    if (ports.soundAllowed && ports.soundAllowed() && ports.playSound) ports.playSound();
    if (ports.showThumbnail) ports.showThumbnail(result);
}

std::filesystem::path saveAsDestination(const std::filesystem::path& chosen) {
    std::string extension = chosen.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mov" || extension == ".qt") return chosen;
    std::filesystem::path destination = chosen;
    destination += ".mov";
    return destination;
}

void saveRecordingCopy(Executor& background, Executor& main, std::filesystem::path source,
                       std::filesystem::path destination, std::function<void(std::optional<std::string>)> done) {
    background.post([&main, source = std::move(source), destination = std::move(destination), done = std::move(done)]() mutable {
        auto failure = copyRecordingSafely(source, destination);
        main.post([failure = std::move(failure), done = std::move(done)]() mutable { done(std::move(failure)); });
    });
}

}  // namespace tessarin
