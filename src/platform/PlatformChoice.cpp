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

PlatformChoice x11Choice(const EnvironmentLookup& environment) {
    const auto display = environment("DISPLAY");
    if (!display) {
        return nullChoice("no X display: DISPLAY is not set (run under an X session or Xvfb; a Wayland session sets "
                          "WAYLAND_DISPLAY and gets the portal back end)");
    }
    return {PlatformChoice::Kind::x11, *display, {}};
}

PlatformChoice portalChoice(const EnvironmentLookup& environment) {
    return {PlatformChoice::Kind::portal, environment("WAYLAND_DISPLAY").value_or(""), {}};
}

}  // namespace

PlatformChoice choosePlatform(const EnvironmentLookup& environment) {
    const auto platform = environment("TESSARIN_PLATFORM");
    if (platform == "null") return nullChoice("screen capture disabled (TESSARIN_PLATFORM=null)");
    if (platform && *platform != "x11") {
        return nullChoice("unknown TESSARIN_PLATFORM value \"" + *platform + "\" (expected x11 or null)");
    }
    if (const auto backend = environment("TESSARIN_BACKEND")) {
        if (*backend == "x11") return x11Choice(environment);
        if (*backend == "portal") return portalChoice(environment);
        return nullChoice("unknown TESSARIN_BACKEND value \"" + *backend + "\" (expected x11 or portal)");
    }
    if (platform) return x11Choice(environment);
    if (isWaylandSession(environment)) return portalChoice(environment);
    return x11Choice(environment);
}

}  // namespace tessarin
