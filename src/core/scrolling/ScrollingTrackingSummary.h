#pragma once
// How well a capture followed the content it watched. A capture that
// auto-scrolled through a whole document but could place none of its
// frames still ends with an image (the first frame); this summary is what
// tells that apart from a capture of content that never moved.

#include <cstdint>
#include <optional>
#include <string>

namespace tessarin {

// A frame whose stillness score is above this visibly moved (so did one
// whose whole rows changed where the sampled columns see nothing).
inline constexpr double kVisibleMovementScore = 0.05;

struct ScrollingTrackingSummary {
    static constexpr int64_t kMinimumLostFrames = 5;

    int64_t placedFrames = 0;  // appended
    int64_t lostFrames = 0;    // visibly moved but could not be placed
    int64_t appendedRows = 0;
    int64_t lostSinceLastPlaced = 0;  // the moving frames at the end that could not be placed

    // Counts one analysed frame.
    void count(bool appended, int64_t rows, bool visiblyMoved) {
        if (appended) {
            ++placedFrames;
            appendedRows += rows;
            lostSinceLastPlaced = 0;
        } else if (visiblyMoved) {
            ++lostFrames;
            ++lostSinceLastPlaced;
        }
    }
    // The content moved, but more of its moving frames were lost than
    // placed, or every moving frame after the last placed one was lost: the
    // image holds far less than what scrolled by, or misses the end of it.
    bool lostTrack() const {
        return lostFrames >= kMinimumLostFrames &&
               (lostFrames > placedFrames || lostSinceLastPlaced >= kMinimumLostFrames);
    }
};

// The text of the agent's warning when the capture lost track, else none.
inline std::optional<std::string> lostTrackingWarning(const ScrollingTrackingSummary& summary) {
    if (!summary.lostTrack()) return std::nullopt;
    return "scrolling capture lost track of the content: " + std::to_string(summary.lostFrames) +
           " frames moved but could not be stitched, " + std::to_string(summary.placedFrames) + " were (" +
           std::to_string(summary.appendedRows) + " rows); the image holds only what was stitched";
}

}  // namespace tessarin
