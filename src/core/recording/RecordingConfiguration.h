#pragma once
// What the recording flow is set up with, and the texts it derives: the
// recording's file name and the control panel's clock.

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace tessarin {

enum class RecordingMode { video };

struct RecordingPanelSize {
    double width = 236;
    double height = 44;
};

struct RecordingConfiguration {
    double minimumSelectionDimension = 120.0;
    double frameRate = 30;
    bool showsCursor = true;
    bool dimsOutsideSelection = true;
    // The overlay's microphone switch starts here each time; it is never stored.
    bool defaultMicrophoneEnabled = false;
    double chromePadding = 14.0;
    double selectionStrokeWidth = 2.0;
    RecordingPanelSize recordingPanelSize;
    double panelAnchorHeight = 68.0;
    // Where recordings go (the user's Desktop folder in the application).
    std::function<std::filesystem::path()> recordingDirectoryProvider;
    // The name of a recording started at a time; generateRecordingFilename by default.
    std::function<std::string(std::chrono::system_clock::time_point)> fileNameProvider;
};

// "Recording 2025-01-31 at 14.05.09.mov": the localised word "Recording", a
// space, the local time in the localised pattern "yyyy-MM-dd 'at' HH.mm.ss"
// and ".mov".
std::string generateRecordingFilename(const std::tm& localTime);
std::string generateRecordingFilename(std::chrono::system_clock::time_point now);

// The control panel's clock: whole minutes (not wrapped into hours), a
// colon, the remaining whole seconds, "%02d:%02d". Negative or not finite
// reads 00:00.
std::string recordingClockText(double elapsedSeconds);

}  // namespace tessarin
