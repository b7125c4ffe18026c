#include "platform/PlatformChoice.h"

#include <cstdlib>

namespace tessarin {

EnvironmentLookup processEnvironment() {
    return [](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        if (value == nullptr || *value == '\0') return std::nullopt;
        return std::string(value);
    };
}

namespace {

PlatformChoice nullChoice(std::string reason) { return {PlatformChoice::Kind::null, {}, std::move(reason)}; }

bool isWaylandSession(const EnvironmentLookup& environment) {
    return environment("WAYLAND_DISPLAY") || environment("XDG_SESSION_TYPE") == "wayland";
}

}  // namespace

PlatformChoice choosePlatform(const EnvironmentLookup& environment) {
    const auto platform = environment("TESSARIN_PLATFORM");
    if (platform == "null") return nullChoice("screen capture disabled (TESSARIN_PLATFORM=null)");
    if (platform && *platform != "x11") {
        return nullChoice("unknown TESSARIN_PLATFORM value \"" + *platform + "\" (expected x11 or null)");
    }
    if (!platform && isWaylandSession(environment)) return nullChoice(std::string(kWaylandSessionReason));
    const auto display = environment("DISPLAY");
    if (!display) {
        return nullChoice(
            "no X display: DISPLAY is not set (run under an X session or Xvfb; Wayland sessions need the portal "
            "back end, which is not built yet)");
    }
    return {PlatformChoice::Kind::x11, *display, {}};
}

}  // namespace tessarin
