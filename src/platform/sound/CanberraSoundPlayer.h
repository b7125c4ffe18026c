#pragma once
// The capture sound through libcanberra: the sound theme's "screen-capture"
// event (the freedesktop theme ships it), else "camera-shutter". libcanberra
// picks the sound server (PulseAudio, also as PipeWire's front) or ALSA; where
// none works, play() says false and logs why.
//
// A library of its own: only the desktop application links libcanberra.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/CaptureSoundPlayer.h"

namespace tessarin {

struct CanberraOptions {
    std::optional<std::string> driver;  // e.g. "pulse"; libcanberra tries each when none
    // After a failed open, how long plays fail at once before one tries again.
    std::chrono::milliseconds retryAfter{std::chrono::seconds(30)};
};

class CanberraSoundPlayer final : public CaptureSoundPlayer {
public:
    explicit CanberraSoundPlayer(CanberraOptions options = {});
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer&) = delete;
    CanberraSoundPlayer& operator=(const CanberraSoundPlayer&) = delete;

    bool play() override;

    // The event id the last successful play() used; empty before one.
    const std::string& lastEventID() const { return lastEventID_; }

private:
    // The context, opened on first use, and again after a failure once
    // retryAfter has passed, as the sound server may have started since.
    // Not at every capture: a failing open loads and probes every back end
    // on the main thread, milliseconds each time.
    struct Context;
    bool open();

    CanberraOptions options_;
    std::unique_ptr<Context> context_;
    std::optional<std::chrono::steady_clock::time_point> failedAt_;
    std::string lastEventID_;
};

}  // namespace tessarin
