#pragma once

#include <memory>

#include "platform/BackendDescription.h"
#include "platform/ScreenBackend.h"

namespace tessarin {

// The back end for this session (see choosePlatform in PlatformChoice.h):
// the desktop portals in a Wayland session, X11 when DISPLAY names a
// reachable server outside one, otherwise a NullScreenBackend that explains
// why.
std::unique_ptr<ScreenBackend> makeScreenBackend();

// doctor's account of the back end this session gets (the same choice).
BackendDescription describeScreenBackend();

}  // namespace tessarin
