#pragma once
// The thumbnail of a finished recording, in the Quick Access corner: the
// poster frame with the duration and a play/edit button over it, and the
// rows "Reveal", "Save As" and "Close". It stays until closed or a newer
// recording takes its place.

#include <QWidget>
#include <functional>

#include "core/recording/RecordingCoordinator.h"
#include "core/recordingflow/RecordingRouting.h"

namespace tessarin {

class VideoThumbnailWindow final : public QWidget {
public:
    using Handler = std::function<void(RecordingThumbnailAction, const RecordingResult&)>;

    VideoThumbnailWindow(RecordingResult result, Handler handler);
    void showInCorner();
    const RecordingResult& result() const { return result_; }

private:
    RecordingResult result_;
    Handler handler_;
};

}  // namespace tessarin
