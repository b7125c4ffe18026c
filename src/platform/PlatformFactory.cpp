#include "platform/PlatformFactory.h"

#include <cstdlib>
#include <string_view>

#include "core/common/Log.h"
#include "platform/NullScreenBackend.h"
#include "platform/PlatformChoice.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin {

namespace {

std::unique_ptr<ScreenBackend> nullBackend(std::string reason) {
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=null reason=\"" + reason + "\"");
    return std::make_unique<NullScreenBackend>(std::move(reason));
}

}  // namespace

std::unique_ptr<ScreenBackend> makeScreenBackend() {
    const EnvironmentLookup environment = processEnvironment();
    const PlatformChoice choice = choosePlatform(environment);
    if (choice.kind == PlatformChoice::Kind::null) return nullBackend(choice.reason);
    if (choice.kind == PlatformChoice::Kind::portal) {
        return nullBackend("this is a Wayland session; its portal back end is not in this build");
    }
    x11::X11BackendOptions options;
    options.gdkScale = environment("GDK_SCALE");
    auto backend = x11::X11ScreenBackend::connect(choice.display, std::move(options));
    if (!backend) return nullBackend(backend.error());
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=x11 display=" + choice.display);
    return std::move(backend.value());
}

}  // namespace tessarin
