#pragma once
// The recorder's and the video exporter's error: one case per kind of
// failure, each with the one text the user sees.

#include <string>

namespace tessarin {

class RecordingError {
public:
    enum class Kind { recordingFailed, destinationUnavailable, noDisplay, permissionDenied, unsupported };

    static RecordingError recordingFailed(std::string message) { return {Kind::recordingFailed, std::move(message)}; }
    static RecordingError destinationUnavailable() { return {Kind::destinationUnavailable, {}}; }
    static RecordingError noDisplay() { return {Kind::noDisplay, {}}; }
    static RecordingError permissionDenied() { return {Kind::permissionDenied, {}}; }
    static RecordingError unsupported() { return {Kind::unsupported, {}}; }

    Kind kind() const { return kind_; }
    // The detail of recordingFailed (already localised); empty otherwise.
    const std::string& message() const { return message_; }
    // The user's text, localised.
    std::string description() const;

    friend bool operator==(const RecordingError&, const RecordingError&) = default;

private:
    RecordingError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_;
    std::string message_;
};

// The pipeline's own failures, as recordingFailed with a localised message.
namespace recording_failure {
RecordingError startedTwice();
RecordingError noMicrophone();
RecordingError microphoneInputRefused();
RecordingError microphoneOutputRefused();
RecordingError videoInputRefused();
RecordingError audioInputRefused();
RecordingError destinationExists();
RecordingError noFrames();
RecordingError cancelled();
RecordingError writerReleased();
RecordingError posterFrameFailed();
RecordingError sessionRunTwice();
// Export failures.
RecordingError videoTrackUnavailable();
RecordingError trimRangeEmpty();
RecordingError compositionTrackRefused();
RecordingError exportSessionRefused();
RecordingError exportCancelled();
RecordingError exportFailed();
RecordingError exportUnfinished();
}  // namespace recording_failure

}  // namespace tessarin
