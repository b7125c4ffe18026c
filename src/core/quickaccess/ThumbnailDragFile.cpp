#include "core/quickaccess/ThumbnailDragFile.h"

#include "core/common/Log.h"

namespace tessarin {

std::shared_ptr<ThumbnailDragFile> ThumbnailDragFile::make(ImageFormat format, Write write, Exists exists) {
    if (!exists) {
        exists = [](const std::filesystem::path& path) {
            std::error_code error;
            return std::filesystem::is_regular_file(path, error);
        };
    }
    return std::shared_ptr<ThumbnailDragFile>(new ThumbnailDragFile(format, std::move(write), std::move(exists)));
}

ThumbnailDragFile::ThumbnailDragFile(ImageFormat format, Write write, Exists exists)
    : format_(format),
      write_(std::move(write)),
      exists_(std::move(exists)),
      suggestedName_(ExportManager::generateFilename(format)) {}

void ThumbnailDragFile::request(Completion<PathResult> done) {
    if (written_ && !writing_) {
        if (exists_(*written_)) return done(PathResult(*written_));
        logLine(LogLevel::info, LogCategory::storage, "quick_access.drag_file gone, writing again");
        written_.reset();
    }
    waiting_.push_back(std::move(done));
    if (writing_) return;
    writing_ = true;
    ++writesStarted_;
    write_([self = shared_from_this()](PathResult result) { self->finish(std::move(result)); });
}

void ThumbnailDragFile::finish(PathResult result) {
    writing_ = false;
    if (result) {
        written_ = *result;
    } else {
        logLine(LogLevel::error, LogCategory::storage, "quick_access.drag_file failed: " + result.error().description());
    }
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& done : waiting) done(result);
}

}  // namespace tessarin
