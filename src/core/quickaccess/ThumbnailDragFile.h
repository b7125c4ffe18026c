#pragma once
// The file a thumbnail offers when it is dragged out. It is written on the
// first request only, by one background write that every request made
// meanwhile waits on; later drags of the same thumbnail reuse the file. A
// file that has gone since (the drag folder's daily cleanup removes files
// older than a day) is written again, and a failed write is reported to
// whoever asked and tried afresh on the next request.
//
// Main executor only. Hold it through a shared_ptr: a drag in flight keeps
// it alive after its thumbnail has been dismissed.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/BackgroundImageWriter.h"

namespace tessarin {

class ThumbnailDragFile : public std::enable_shared_from_this<ThumbnailDragFile> {
public:
    // Writes the image into a fresh drag file; completes with its path.
    using Write = std::function<void(Completion<PathResult>)>;
    using Exists = std::function<bool(const std::filesystem::path&)>;

    static std::shared_ptr<ThumbnailDragFile> make(ImageFormat format, Write write, Exists exists = {});

    // The file (written now or earlier), or why it could not be written.
    void request(Completion<PathResult> done);
    // What a drop target should call the file: the export name of the format.
    std::string suggestedName() const { return suggestedName_; }
    ImageFormat format() const { return format_; }
    // How many writes were started, for the drag's diagnostics.
    int writesStarted() const { return writesStarted_; }

private:
    ThumbnailDragFile(ImageFormat format, Write write, Exists exists);
    void finish(PathResult result);

    ImageFormat format_;
    Write write_;
    Exists exists_;
    std::string suggestedName_;
    std::optional<std::filesystem::path> written_;
    bool writing_ = false;
    int writesStarted_ = 0;
    std::vector<Completion<PathResult>> waiting_;
};

}  // namespace tessarin
