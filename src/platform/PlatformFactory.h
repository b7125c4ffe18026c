#pragma once

#include <memory>

#include "platform/ScreenBackend.h"

namespace tessarin {

// The back end for this session (see choosePlatform in PlatformChoice.h):
// X11 when DISPLAY names a reachable server outside a Wayland session,
// otherwise a NullScreenBackend that explains why.
std::unique_ptr<ScreenBackend> makeScreenBackend();

}  // namespace tessarin
