#pragma once
// Which window has the keyboard focus, and giving it back. The capture flow
// notes the active window before its overlay takes the focus and activates
// it again when the capture is over, so the user goes on typing where they
// were.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace tessarin {

enum class ActivationOutcome {
    requested,  // the window manager was asked; it switches soon after
    focused,    // no window manager does it: the focus was set directly
    failed,     // the window is gone, or the display is
};

struct ActivationResult {
    ActivationOutcome outcome = ActivationOutcome::failed;
    std::string detail;  // why it failed, for the log
    bool ok() const { return outcome != ActivationOutcome::failed; }
};

class ActiveWindowTracker {
public:
    virtual ~ActiveWindowTracker() = default;

    // The window that has the focus now; none when no window has it or the
    // display cannot tell.
    virtual std::optional<uint32_t> activeWindow() = 0;
    // Asks for `window` to become the active window again. Returns without
    // waiting for the switch: isActive() tells when it happened.
    virtual ActivationResult activate(uint32_t window) = 0;
    virtual bool isActive(uint32_t window) = 0;
};

// Where there is no display to ask: no window is active, none can be.
class NullActiveWindowTracker final : public ActiveWindowTracker {
public:
    explicit NullActiveWindowTracker(std::string reason) : reason_(std::move(reason)) {}
    std::optional<uint32_t> activeWindow() override { return std::nullopt; }
    ActivationResult activate(uint32_t) override { return {ActivationOutcome::failed, reason_}; }
    bool isActive(uint32_t) override { return false; }

private:
    std::string reason_;
};

}  // namespace tessarin
