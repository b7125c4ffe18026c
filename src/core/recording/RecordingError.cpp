#include "core/recording/RecordingError.h"

#include "core/common/Localization.h"

namespace tessarin {

namespace {

std::string replacePlaceholder(std::string pattern, const std::string& value) {
    auto at = pattern.find("%@");
    if (at != std::string::npos) pattern.replace(at, 2, value);
    return pattern;
}

RecordingError failed(const char* english) { return RecordingError::recordingFailed(localized(english)); }

}  // namespace

std::string RecordingError::description() const {
    switch (kind_) {
        case Kind::recordingFailed: return replacePlaceholder(localized("Recording failed: %@"), message_);
        case Kind::destinationUnavailable: return localized("Cannot locate a save destination for the recording.");
        case Kind::noDisplay: return localized("No display found for screen recording.");
        case Kind::permissionDenied: return localized("Screen recording permission denied.");
        case Kind::unsupported: return localized("Screen recording is not available on this desktop.");
    }
    return {};
}

namespace recording_failure {
RecordingError startedTwice() { return failed("Recording coordinator can only be started once."); }
RecordingError noMicrophone() { return failed("No microphone device available."); }
RecordingError microphoneInputRefused() { return failed("Unable to add microphone input."); }
RecordingError microphoneOutputRefused() { return failed("Unable to add microphone output."); }
RecordingError videoInputRefused() { return failed("Unable to add video writer input."); }
RecordingError audioInputRefused() { return failed("Unable to add audio writer input."); }
RecordingError destinationExists() { return failed("Recording destination already exists."); }
RecordingError noFrames() { return failed("Recording did not produce any frames."); }
RecordingError cancelled() { return failed("Recording was cancelled."); }
RecordingError writerReleased() { return failed("Writer released unexpectedly."); }
RecordingError posterFrameFailed() { return failed("Failed to capture a poster frame."); }
RecordingError sessionRunTwice() { return failed("Recording session can only be run once."); }
RecordingError videoTrackUnavailable() { return failed("Video track unavailable."); }
RecordingError trimRangeEmpty() { return failed("Trim range is empty."); }
RecordingError compositionTrackRefused() { return failed("Unable to create video composition track."); }
RecordingError exportSessionRefused() { return failed("Unable to create export session."); }
RecordingError exportCancelled() { return failed("Export cancelled."); }
RecordingError exportFailed() { return failed("Export failed."); }
RecordingError exportUnfinished() { return failed("Export did not finish."); }
}  // namespace recording_failure

}  // namespace tessarin
