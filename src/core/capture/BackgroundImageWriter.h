#pragma once
// File work for finished images, off the main thread: each operation runs
// its encoding and writing on the background executor and completes on the
// main executor with the result or the ExportError that stopped it.

#include <filesystem>
#include <functional>
#include <optional>
#include <variant>

#include "core/capture/BackgroundImageEncoder.h"
#include "core/capture/ExportManager.h"
#include "core/common/Expected.h"

namespace tessarin {

using WriteResult = Expected<std::monostate, ExportError>;
using PathResult = Expected<std::filesystem::path, ExportError>;

class BackgroundImageWriter {
public:
    using MakeThumbnail = std::function<std::optional<Image>(const Image&)>;
    static constexpr double thumbnailQuality = 0.7;

    BackgroundImageWriter(Executor& background, Executor& main,
                          const FileSystemCalls& calls = FileSystemCalls::system())
        : background_(background), main_(main), calls_(calls) {}

    void write(SharedImage image, std::filesystem::path path, ImageFormat format, Completion<WriteResult> done);

    // Prepares a drag file (ExportManager::prepareTemporaryDragImageURL) and
    // writes the image into it; completes with its path.
    void writeTemporaryDragImageFile(SharedImage image, ImageFormat format, Completion<PathResult> done,
                                     std::filesystem::path temporaryRoot = std::filesystem::temp_directory_path());

    // A JPEG thumbnail (quality 0.7) made by `makeThumbnail`, then the
    // full-resolution PNG. For a new capture both or neither: when the PNG
    // fails, the thumbnail just written is removed again.
    void writeHistoryImages(SharedImage image, std::filesystem::path fullResolution, std::filesystem::path thumbnail,
                            MakeThumbnail makeThumbnail, Completion<WriteResult> done);

    // Saves to the Desktop under a fresh generated name, claimed exclusively
    // (ExportManager::uniqueURL); completes with the file's path.
    void saveToDefaultLocation(SharedImage image, ImageFormat format, Completion<PathResult> done,
                               ExportManager::EnvironmentLookup environment = ExportManager::processEnvironment());

private:
    template <class T, class Work>
    void run(Work work, Completion<Expected<T, ExportError>> done);

    Executor& background_;
    Executor& main_;
    const FileSystemCalls& calls_;
};

}  // namespace tessarin
