#include "core/recording/VideoEditorModel.h"

#include "core/common/Localization.h"

namespace tessarin {

VideoEditorModel::VideoEditorModel(VideoEditSource source)
    : source_(std::move(source)), state_(VideoEditState::initial(source_)) {}

std::string VideoEditorModel::estimatedSizeText() const {
    return estimatedFileSizeText(state_.estimatedFileSizeBytes(source_));
}

std::string VideoEditorModel::selectedRangeText() const {
    return videoRangeText(state_.clampedTimeRange(source_.duration));
}

std::string VideoEditorModel::outputSizeText() const {
    const VideoSize size = state_.resolvedOutputSize(source_.sourceSize);
    return std::to_string(size.width) + " × " + std::to_string(size.height);
}

Expected<VideoEditResult, RecordingError> VideoEditorModel::exportEdits(MediaEngine& engine,
                                                                       const std::atomic<bool>& cancel,
                                                                       const ExportProgress& progress) {
    if (exporting_.exchange(true)) return unexpected(recording_failure::exportSessionRefused());
    auto result = engine.exportVideo(source_, state_, cancel, progress);
    exporting_ = false;
    return result;
}

std::string VideoEditorModel::emptyTitle() { return localized("No Video Selected"); }

std::string VideoEditorModel::emptyMessage() {
    return localized("Finish a screen recording and choose Edit from the thumbnail.");
}

std::string VideoEditorModel::helpText() {
    return localized("Preview plays the recording with its sound. Drag the handles on the frame strip to trim.");
}

}  // namespace tessarin
