#include "app/DesktopApplication.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/common/LoadableModule.h"

namespace tessarin {
namespace {

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && value[0] != '\0') return true;
    }
    return false;
}

}  // namespace

int runDesktopApplication(int argc, char** argv) {
    // Said here, before Qt is loaded, so the answer is one plain line.
    if (!hasDisplay()) {
        std::fputs("tessarin: no display to run the desktop application on (DISPLAY is not set); "
                   "run `tessarin help` for the agent's commands\n",
                   stderr);
        return 1;
    }
    using Entry = int(int, char**);
    const auto entry = loadModuleFunction<Entry>("desktop", "tessarin_desktop_main");
    if (!entry) {
        std::fprintf(stderr, "tessarin: cannot start the desktop application: %s\n", entry.error().c_str());
        return 1;
    }
    return (*entry)(argc, argv);
}

}  // namespace tessarin
