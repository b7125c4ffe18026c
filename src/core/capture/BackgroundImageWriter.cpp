#include "core/capture/BackgroundImageWriter.h"

#include <unistd.h>

#include <new>

#include "core/common/Log.h"

namespace tessarin {
namespace fs = std::filesystem;

// Runs `work` in the background, turning anything it throws into the
// ExportError the caller receives.
template <class T, class Work>
void BackgroundImageWriter::run(Work work, Completion<Expected<T, ExportError>> done) {
    runInBackground<Expected<T, ExportError>>(
        background_, main_,
        [work = std::move(work)]() mutable -> Expected<T, ExportError> {
            try {
                return work();
            } catch (const ExportError& error) {
                return unexpected(error);
            } catch (const std::bad_alloc&) {
                return unexpected(ExportError::cannotCreateImageFile());
            } catch (const std::exception& error) {
                logLine(LogLevel::error, LogCategory::storage, std::string("image write failed: ") + error.what());
                return unexpected(ExportError::failedToWriteImage());
            }
        },
        std::move(done));
}

void BackgroundImageWriter::write(SharedImage image, fs::path path, ImageFormat format, Completion<WriteResult> done) {
    run<std::monostate>(
        [image = std::move(image), path = std::move(path), format, &calls = calls_] {
            if (!image) throw ExportError::cannotCreateImageFile();
            ExportManager::writeImage(*image, path, format, calls);
            return std::monostate{};
        },
        std::move(done));
}

void BackgroundImageWriter::writeTemporaryDragImageFile(SharedImage image, ImageFormat format,
                                                        Completion<PathResult> done, fs::path temporaryRoot) {
    run<fs::path>(
        [image = std::move(image), format, root = std::move(temporaryRoot), &calls = calls_] {
            if (!image) throw ExportError::cannotCreateImageFile();
            fs::path path = ExportManager::prepareTemporaryDragImageURL(format, root);
            ExportManager::writeImage(*image, path, format, calls);
            return path;
        },
        std::move(done));
}

void BackgroundImageWriter::writeHistoryImages(SharedImage image, fs::path fullResolution, fs::path thumbnail,
                                               MakeThumbnail makeThumbnail, Completion<WriteResult> done) {
    run<std::monostate>(
        [image = std::move(image), full = std::move(fullResolution), thumb = std::move(thumbnail),
         makeThumbnail = std::move(makeThumbnail), &calls = calls_] {
            if (!image) throw ExportError::cannotCreateImageFile();
            const std::optional<Image> small = makeThumbnail(*image);
            if (!small) throw ExportError::cannotCreateImageFile();
            // The small file first: when the large one then fails, a new
            // capture's thumbnail is removed again, and an edited capture
            // keeps its full-resolution file rather than losing it.
            std::error_code ignored;
            const bool replacing = fs::exists(thumb, ignored);
            ExportManager::writeImage(*small, thumb, ImageFormat::jpeg(thumbnailQuality), calls);
            try {
                ExportManager::writeImage(*image, full, ImageFormat::png(), calls);
            } catch (...) {
                if (!replacing) ::unlink(thumb.c_str());
                throw;
            }
            return std::monostate{};
        },
        std::move(done));
}

void BackgroundImageWriter::saveToDefaultLocation(SharedImage image, ImageFormat format, Completion<PathResult> done,
                                                  ExportManager::EnvironmentLookup environment) {
    run<fs::path>(
        [image = std::move(image), format, environment = std::move(environment), &calls = calls_] {
            if (!image) throw ExportError::cannotCreateImageFile();
            const fs::path desktop = ExportManager::desktopDirectory(environment);
            fs::path path = ExportManager::uniqueURL(ExportManager::generateFilename(format), desktop);
            try {
                ExportManager::writeImage(*image, path, format, calls);
            } catch (...) {
                ::unlink(path.c_str());  // the empty file that claimed the name
                throw;
            }
            return path;
        },
        std::move(done));
}

}  // namespace tessarin
