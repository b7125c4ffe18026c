#include "platform/PlatformFactory.h"

#include <cstdlib>
#include <string_view>

#include "core/common/Log.h"
#include "platform/NullScreenBackend.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin {

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::unique_ptr<ScreenBackend> nullBackend(std::string reason) {
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=null reason=\"" + reason + "\"");
    return std::make_unique<NullScreenBackend>(std::move(reason));
}

}  // namespace

std::unique_ptr<ScreenBackend> makeScreenBackend() {
    if (const auto platform = environment("TESSARIN_PLATFORM")) {
        if (*platform == "null") return nullBackend("screen capture disabled (TESSARIN_PLATFORM=null)");
        if (*platform != "x11") {
            return nullBackend("unknown TESSARIN_PLATFORM value \"" + *platform + "\" (expected x11 or null)");
        }
    }
    // Xwayland sessions set DISPLAY too and are served by the X11 back end.
    const auto display = environment("DISPLAY");
    if (!display) {
        return nullBackend(
            "no X display: DISPLAY is not set (run under an X session or Xvfb; Wayland sessions need the portal "
            "back end, which is not built yet)");
    }
    x11::X11BackendOptions options;
    options.gdkScale = environment("GDK_SCALE");
    auto backend = x11::X11ScreenBackend::connect(*display, std::move(options));
    if (!backend) return nullBackend(backend.error());
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=x11 display=" + *display);
    return std::move(backend.value());
}

}  // namespace tessarin
