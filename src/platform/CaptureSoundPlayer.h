#pragma once
// The sound that says a screenshot was taken.

#include <string>

namespace tessarin {

class CaptureSoundPlayer {
public:
    virtual ~CaptureSoundPlayer() = default;
    // Starts the sound without waiting for it to end; false (and logged)
    // when it could not be played.
    virtual bool play() = 0;
};

// Where no sound can be played: never plays.
class SilentCaptureSoundPlayer final : public CaptureSoundPlayer {
public:
    bool play() override { return false; }
};

}  // namespace tessarin
