#pragma once
// Taking our own windows (the overlay, thumbnails) off the screen before a
// capture reads it. Each viewable window is withdrawn (unmapped, and the
// window manager told so), then the hider waits for the server's unmap
// notices of the window and of the frame a window manager put around it,
// and finally for a short settle while a compositing manager runs, which
// repaints the screen only on its next frame. All waits are bounded.

#include <chrono>
#include <span>
#include <string>

#include "core/common/Expected.h"
#include "platform/OwnWindowHider.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

class X11WindowHider final : public OwnWindowHider {
public:
    // Uses `connection` for its requests and events, on the caller's thread.
    // With a compositing manager, `settle` more passes after the last
    // notice before the screen is read.
    explicit X11WindowHider(X11Connection& connection,
                            std::chrono::milliseconds settle = std::chrono::milliseconds(50));

    Expected<WindowHiding, std::string> hide(std::span<const uint32_t> windows) override;

private:
    X11Connection& connection_;
    std::chrono::milliseconds settle_;
};

}  // namespace tessarin::x11
