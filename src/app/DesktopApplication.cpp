#include "app/DesktopApplication.h"

#include <cstdio>

namespace tessarin {

int runDesktopApplication(int, char**) {
    // The Qt application replaces this body; until then say so plainly.
    std::puts("tessarin: the desktop application is not built yet; run `tessarin help` for the agent's commands");
    return 0;
}

}  // namespace tessarin
