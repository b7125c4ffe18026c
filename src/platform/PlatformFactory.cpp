#include "platform/PlatformFactory.h"

#include <cstdlib>
#include <string_view>

#include "core/common/Log.h"
#include "platform/NullScreenBackend.h"
#include "platform/PlatformChoice.h"
#include "platform/portal/PortalDoctor.h"
#include "platform/portal/PortalScreenBackend.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin {

namespace {

std::unique_ptr<ScreenBackend> nullBackend(std::string reason) {
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=null reason=\"" + reason + "\"");
    return std::make_unique<NullScreenBackend>(std::move(reason));
}

std::unique_ptr<ScreenBackend> portalBackend(const PlatformChoice& choice, const EnvironmentLookup& environment) {
    portal::PortalBackendOptions options;
    options.waylandDisplay = choice.display;
    if (const auto timeout = environment("TESSARIN_PORTAL_TIMEOUT_MS")) {
        char* end = nullptr;
        const long long milliseconds = std::strtoll(timeout->c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && milliseconds > 0) {
            options.screenshotTimeout = std::chrono::milliseconds(milliseconds);
        }
    }
    logLine(LogLevel::debug, LogCategory::capture,
            "platform.backend name=portal wayland_display=" + (choice.display.empty() ? "default" : choice.display));
    return std::make_unique<portal::PortalScreenBackend>(std::move(options));
}

}  // namespace

std::unique_ptr<ScreenBackend> makeScreenBackend() {
    const EnvironmentLookup environment = processEnvironment();
    const PlatformChoice choice = choosePlatform(environment);
    if (choice.kind == PlatformChoice::Kind::null) return nullBackend(choice.reason);
    if (choice.kind == PlatformChoice::Kind::portal) return portalBackend(choice, environment);
    x11::X11BackendOptions options;
    options.gdkScale = environment("GDK_SCALE");
    auto backend = x11::X11ScreenBackend::connect(choice.display, std::move(options));
    if (!backend) return nullBackend(backend.error());
    logLine(LogLevel::debug, LogCategory::capture, "platform.backend name=x11 display=" + choice.display);
    return std::move(backend.value());
}

BackendDescription describeScreenBackend() {
    const PlatformChoice choice = choosePlatform(processEnvironment());
    switch (choice.kind) {
        case PlatformChoice::Kind::portal: return portal::describePortalBackend(choice.display);
        case PlatformChoice::Kind::x11: {
            BackendDescription description;
            description.details.push_back({"back end", "X11 (display " + choice.display + ")"});
            return description;
        }
        case PlatformChoice::Kind::null: break;
    }
    BackendDescription description;
    description.details.push_back({"back end", "none (" + choice.reason + ")"});
    return description;
}

}  // namespace tessarin
