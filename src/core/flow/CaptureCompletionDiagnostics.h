#pragma once
// The capture's diagnostics lines: a step key, then space-separated
// name=value fields, written to the Capture log prefixed with the capture
// id, e.g. "[1A2B3C4D] complete.play_sound duration_ms=0 skipped=true".

#include <chrono>
#include <string>
#include <string_view>

#include "core/preferences/AppPreferences.h"

namespace tessarin {

namespace CompletionStep {
inline constexpr std::string_view routePolicy = "complete.route_policy";
inline constexpr std::string_view restoreFocus = "complete.restore_focus";
inline constexpr std::string_view thumbnailSchedule = "complete.thumbnail_schedule";
inline constexpr std::string_view playSound = "complete.play_sound";
}  // namespace CompletionStep

// Writes "[<captureID>] <key> <message>" to the Capture log.
void logCaptureLine(std::string_view captureID, std::string_view key, std::string_view message);

// "play_sound=true auto_copy=false show_thumbnail=true open_annotate=false format=png"
std::string describeCompletionPolicy(const AppPreferencesSnapshot& snapshot);

// Whole milliseconds between two instants, never negative.
long long elapsedMilliseconds(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point end);

}  // namespace tessarin
