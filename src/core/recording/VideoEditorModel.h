#pragma once
// The video editor's state behind its window: the recording being edited,
// the user's edits, whether an export runs, and the texts the window shows.
// The window (player, trim control, pickers) only reads and sets these.

#include <atomic>
#include <mutex>
#include <string>

#include "core/recording/MediaEngine.h"
#include "core/recording/VideoEditModel.h"

namespace tessarin {

class VideoEditorModel {
public:
    explicit VideoEditorModel(VideoEditSource source);

    const VideoEditSource& source() const { return source_; }
    VideoEditState& editState() { return state_; }
    const VideoEditState& editState() const { return state_; }

    bool isPlaying = false;
    // Whether the trimming control can be used for the current item.
    bool canTrim = true;
    bool isExporting() const { return exporting_; }

    std::string estimatedSizeText() const;
    std::string selectedRangeText() const;
    std::string qualityLabel() const { return state_.qualityLabel(); }
    // "1280 × 720": the size the export will have.
    std::string outputSizeText() const;

    // Exports the current edits; isExporting() is true until it returns.
    // A second export while one runs is refused (the first goes on).
    Expected<VideoEditResult, RecordingError> exportEdits(MediaEngine& engine, const std::atomic<bool>& cancel,
                                                          const ExportProgress& progress = {});

    static std::string emptyTitle();
    static std::string emptyMessage();
    static std::string helpText();

private:
    VideoEditSource source_;
    VideoEditState state_;
    std::atomic<bool> exporting_{false};
};

}  // namespace tessarin
