#include "platform/portal/WaylandOutputs.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/common/Log.h"
#include "platform/x11/X11Displays.h"  // fnv1a32: the same name gives the same display id on every back end
#include "xdg-output-unstable-v1-client-protocol.h"

namespace tessarin::portal {
namespace {

using Clock = std::chrono::steady_clock;

struct OutputState {
    WaylandOutput output;
    wl_output* handle = nullptr;
    uint32_t version = 0;
    zxdg_output_v1* xdg = nullptr;
};

// Everything bound on one connection, released in reverse.
struct Session {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zxdg_output_manager_v1* xdgManager = nullptr;
    std::vector<std::unique_ptr<OutputState>> outputs;

    ~Session() {
        for (auto& state : outputs) {
            if (state->xdg) zxdg_output_v1_destroy(state->xdg);
            if (state->handle && state->version >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(state->handle);
            else if (state->handle) wl_output_destroy(state->handle);
        }
        if (xdgManager) zxdg_output_manager_v1_destroy(xdgManager);
        if (registry) wl_registry_destroy(registry);
        if (display) wl_display_disconnect(display);
    }
};

// wl_output events
void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t transform) {
    auto& output = static_cast<OutputState*>(data)->output;
    // The layout position until xdg-output says better (compositors without it).
    output.x = x;
    output.y = y;
    output.transform = transform;
}
void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    auto& output = static_cast<OutputState*>(data)->output;
    output.modeWidth = width;
    output.modeHeight = height;
}
void onDone(void*, wl_output*) {}
void onScale(void* data, wl_output*, int32_t factor) { static_cast<OutputState*>(data)->output.scale = factor; }
void onName(void* data, wl_output*, const char* name) {
    auto& output = static_cast<OutputState*>(data)->output;
    if (output.name.empty()) output.name = name;
}
void onDescription(void* data, wl_output*, const char* description) {
    auto& output = static_cast<OutputState*>(data)->output;
    if (output.description.empty()) output.description = description;
}
const wl_output_listener kOutputListener{onGeometry, onMode, onDone, onScale, onName, onDescription};

// xdg_output events: the logical layout, which wins over wl_output's.
void onLogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto& output = static_cast<OutputState*>(data)->output;
    output.x = x;
    output.y = y;
}
void onLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto& output = static_cast<OutputState*>(data)->output;
    output.logicalWidth = width;
    output.logicalHeight = height;
}
void onXdgDone(void*, zxdg_output_v1*) {}
void onXdgName(void* data, zxdg_output_v1*, const char* name) { static_cast<OutputState*>(data)->output.name = name; }
void onXdgDescription(void* data, zxdg_output_v1*, const char* description) {
    static_cast<OutputState*>(data)->output.description = description;
}
const zxdg_output_v1_listener kXdgOutputListener{onLogicalPosition, onLogicalSize, onXdgDone, onXdgName,
                                                 onXdgDescription};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto& session = *static_cast<Session*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto state = std::make_unique<OutputState>();
        state->version = std::min<uint32_t>(version, 4);
        state->handle =
            static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, state->version));
        wl_output_add_listener(state->handle, &kOutputListener, state.get());
        session.outputs.push_back(std::move(state));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        session.xdgManager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, std::min<uint32_t>(version, 3)));
    }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

// libwayland prints its complaints to standard error, where the agent keeps
// only its JSON lines: they go to the log instead.
void logLibraryMessage(const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof(text), format, arguments);
    std::string line(text);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    logLine(LogLevel::debug, LogCategory::capture, "wayland.client message=\"" + line + "\"");
}

void onSyncDone(void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener{onSyncDone};

// wl_display_roundtrip with a deadline: a compositor that stops answering is
// an error, not a hang.
std::optional<std::string> roundtrip(wl_display* display, Clock::time_point deadline) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kSyncListener, &done);
    std::optional<std::string> failure;
    while (!done && !failure) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            failure = "the Wayland connection broke";
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd ready{wl_display_get_fd(display), POLLIN, 0};
        const int polled = left > 0 ? ::poll(&ready, 1, static_cast<int>(left)) : 0;
        if (polled <= 0) {
            wl_display_cancel_read(display);
            if (polled < 0 && errno == EINTR) continue;
            failure = "the Wayland compositor did not answer in time";
            break;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) {
            failure = "the Wayland connection broke";
        }
    }
    wl_callback_destroy(callback);
    return failure;
}

}  // namespace

Expected<std::vector<WaylandOutput>, std::string> readWaylandOutputs(const std::string& displayName,
                                                                    std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    static std::once_flag logHandler;
    std::call_once(logHandler, [] { wl_log_set_handler_client(logLibraryMessage); });
    const char* variable = std::getenv("WAYLAND_DISPLAY");
    const std::string shown = !displayName.empty() ? displayName : (variable && *variable ? variable : "wayland-0");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (shown.front() != '/' && (runtime == nullptr || *runtime == '\0')) {
        return unexpected("cannot connect to the Wayland display \"" + shown +
                          "\": XDG_RUNTIME_DIR, the folder of its socket, is not set");
    }
    Session session;
    session.display = wl_display_connect(displayName.empty() ? nullptr : displayName.c_str());
    if (!session.display) {
        return unexpected("cannot connect to the Wayland display \"" + shown + "\": " + std::strerror(errno));
    }
    session.registry = wl_display_get_registry(session.display);
    wl_registry_add_listener(session.registry, &kRegistryListener, &session);
    if (auto failure = roundtrip(session.display, deadline)) return unexpected(*failure);
    if (session.xdgManager) {
        for (auto& state : session.outputs) {
            state->xdg = zxdg_output_manager_v1_get_xdg_output(session.xdgManager, state->handle);
            zxdg_output_v1_add_listener(state->xdg, &kXdgOutputListener, state.get());
        }
    }
    if (auto failure = roundtrip(session.display, deadline)) return unexpected(*failure);

    std::vector<WaylandOutput> outputs;
    for (auto& state : session.outputs) {
        WaylandOutput output = state->output;
        if (!session.xdgManager && output.scale > 0) {
            // Without xdg-output the logical size follows from the integer scale.
            output.logicalWidth = static_cast<int32_t>(outputPixelWidth(output) / output.scale);
            output.logicalHeight = static_cast<int32_t>(outputPixelHeight(output) / output.scale);
        }
        outputs.push_back(std::move(output));
    }
    return outputs;
}

int64_t outputPixelWidth(const WaylandOutput& output) {
    return (output.transform % 2 == 1) ? output.modeHeight : output.modeWidth;
}

int64_t outputPixelHeight(const WaylandOutput& output) {
    return (output.transform % 2 == 1) ? output.modeWidth : output.modeHeight;
}

std::vector<DisplayDescription> describeWaylandOutputs(const std::vector<WaylandOutput>& all) {
    std::vector<WaylandOutput> outputs;
    std::copy_if(all.begin(), all.end(), std::back_inserter(outputs), [](const WaylandOutput& o) {
        return o.logicalWidth > 0 && o.logicalHeight > 0 && outputPixelWidth(o) > 0 && outputPixelHeight(o) > 0;
    });
    if (outputs.empty()) return {};
    auto primary = std::find_if(outputs.begin(), outputs.end(), [](const WaylandOutput& o) { return o.x == 0 && o.y == 0; });
    if (primary == outputs.end()) primary = outputs.begin();
    std::rotate(outputs.begin(), primary, primary + 1);
    const WaylandOutput& origin = outputs.front();

    std::vector<DisplayDescription> displays;
    for (const WaylandOutput& output : outputs) {
        DisplayDescription display;
        if (!output.name.empty()) display.displayID = x11::fnv1a32(output.name);
        display.name = output.name;
        const double flippedY = static_cast<double>(origin.y + origin.logicalHeight) -
                                static_cast<double>(output.y + output.logicalHeight);
        display.frame = {static_cast<double>(output.x - origin.x), flippedY, static_cast<double>(output.logicalWidth),
                         static_cast<double>(output.logicalHeight)};
        display.visibleFrame = display.frame;  // Wayland tells clients nothing about panels
        display.pixelWidth = outputPixelWidth(output);
        display.pixelHeight = outputPixelHeight(output);
        display.scale = std::max(1.0, static_cast<double>(display.pixelWidth) / output.logicalWidth);
        display.primary = displays.empty();
        displays.push_back(std::move(display));
    }
    return displays;
}

}  // namespace tessarin::portal
