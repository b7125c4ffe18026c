#pragma once
// Taking the application's own windows (the overlay, thumbnails) off the
// screen before a capture reads it, so none of their pixels end up in it.

#include <cstdint>
#include <span>
#include <string>

#include "core/common/Expected.h"

namespace tessarin {

struct WindowHiding {
    int withdrawn = 0;  // windows that were on screen and are gone now
};

class OwnWindowHider {
public:
    virtual ~OwnWindowHider() = default;
    // Returns once every window is off the screen. Windows that do not exist
    // or are not shown are skipped; the error names a window still on
    // screen when the wait ran out.
    virtual Expected<WindowHiding, std::string> hide(std::span<const uint32_t> windows) = 0;
};

// Where there is no display, no window of ours is on one.
class NullOwnWindowHider final : public OwnWindowHider {
public:
    Expected<WindowHiding, std::string> hide(std::span<const uint32_t>) override { return WindowHiding{}; }
};

}  // namespace tessarin
