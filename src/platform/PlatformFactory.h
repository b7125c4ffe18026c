#pragma once

#include <memory>

#include "platform/ScreenBackend.h"

namespace tessarin {

// The back end for this session: X11 when DISPLAY names a reachable server,
// otherwise a NullScreenBackend that explains why. TESSARIN_PLATFORM=null
// forces the null back end (tests of the no-display paths).
std::unique_ptr<ScreenBackend> makeScreenBackend();

}  // namespace tessarin
