#include "platform/portal/PortalRemoteDesktop.h"

#include <unistd.h>

#include <atomic>

#include "core/common/Log.h"

namespace tessarin::portal {

namespace {

constexpr uint32_t kPointerDevice = 2;
constexpr uint32_t kMonitorSource = 1;
constexpr uint32_t kVerticalAxis = 0;

std::string nextToken() {
    static std::atomic<unsigned> counter{0};
    return "tessarin_input" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

GVariant* emptyOptions() { return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0); }

}  // namespace

uint32_t remoteDesktopVersion(PortalConnection& connection, std::chrono::milliseconds timeout) {
    auto value = readProperty(connection, kRemoteDesktopInterface, "version", timeout);
    if (!value) return 0;
    GVariantPtr inner = std::move(value.value());
    while (inner && g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_VARIANT)) inner.reset(g_variant_get_variant(inner.get()));
    if (!inner || !g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_UINT32)) return 0;
    return g_variant_get_uint32(inner.get());
}

AccessStatus remoteDesktopAccess(PortalConnection& connection, std::chrono::milliseconds timeout) {
    const uint32_t version = remoteDesktopVersion(connection, timeout);
    if (version == 0) return {false, "no org.freedesktop.portal.RemoteDesktop portal", std::string(kNoRemoteDesktopMessage)};
    return {true, "org.freedesktop.portal.RemoteDesktop version " + std::to_string(version)};
}

int32_t discreteAxisSteps(int32_t lines) { return lines == INT32_MIN ? INT32_MAX : -lines; }

std::optional<StreamPoint> streamPointFor(const std::vector<CastStream>& streams, Point layoutPoint) {
    for (const CastStream& stream : streams) {
        if (!stream.logicalRect) continue;
        const PixelRect& rect = *stream.logicalRect;
        if (layoutPoint.x >= double(rect.x) && layoutPoint.x < double(rect.x + rect.width) &&
            layoutPoint.y >= double(rect.y) && layoutPoint.y < double(rect.y + rect.height)) {
            return StreamPoint{stream.nodeID, {layoutPoint.x - double(rect.x), layoutPoint.y - double(rect.y)}};
        }
    }
    // A single stream the portal placed nowhere covers the point as it is.
    if (streams.size() == 1 && !streams.front().logicalRect) return StreamPoint{streams.front().nodeID, layoutPoint};
    return std::nullopt;
}

Expected<std::unique_ptr<PortalRemoteDesktop>, PortalError> PortalRemoteDesktop::start(
    std::shared_ptr<PortalConnection> connection, std::chrono::milliseconds timeout) {
    if (remoteDesktopVersion(*connection, timeout) == 0) {
        return unexpected(PortalError{PortalError::Kind::missingPortal, kNoRemoteDesktopMessage});
    }
    GVariantBuilder create;
    g_variant_builder_init(&create, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&create, "{sv}", "session_handle_token", g_variant_new_string(nextToken().c_str()));
    auto created = callRequest(*connection, kRemoteDesktopInterface, "CreateSession", g_variant_new("(a{sv})", &create), timeout);
    if (!created) return unexpected(created.error());
    const char* session = nullptr;
    if (!g_variant_lookup(created.value().get(), "session_handle", "&s", &session) &&
        !g_variant_lookup(created.value().get(), "session_handle", "&o", &session)) {
        return unexpected(PortalError{PortalError::Kind::failed, "the RemoteDesktop portal gave no session"});
    }
    std::unique_ptr<PortalRemoteDesktop> input(new PortalRemoteDesktop(connection, session, timeout));

    GVariantBuilder devices;
    g_variant_builder_init(&devices, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&devices, "{sv}", "types", g_variant_new_uint32(kPointerDevice));
    auto selected = callRequest(*connection, kRemoteDesktopInterface, "SelectDevices",
                                g_variant_new("(oa{sv})", session, &devices), timeout);
    if (!selected) return unexpected(selected.error());
    // A monitor on the same session: absolute moves are placed in its stream.
    GVariantBuilder sources;
    g_variant_builder_init(&sources, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&sources, "{sv}", "types", g_variant_new_uint32(kMonitorSource));
    auto shared = callRequest(*connection, kScreenCastInterface, "SelectSources",
                              g_variant_new("(oa{sv})", session, &sources), timeout);
    if (!shared) return unexpected(shared.error());
    auto started = callRequest(*connection, kRemoteDesktopInterface, "Start",
                               g_variant_new("(os@a{sv})", session, "", emptyOptions()), timeout);
    if (!started) return unexpected(started.error());
    uint32_t granted = 0;
    g_variant_lookup(started.value().get(), "devices", "u", &granted);
    if (!(granted & kPointerDevice)) {
        return unexpected(PortalError{PortalError::Kind::denied, "the RemoteDesktop portal did not grant the pointer"});
    }
    input->streams_ = castStreamsOf(started.value().get());
    logLine(LogLevel::info, LogCategory::capture, "input.portal started session=" + input->session_);
    return input;
}

PortalRemoteDesktop::~PortalRemoteDesktop() { close(); }

std::optional<PortalError> PortalRemoteDesktop::notify(const char* method, GVariant* parameters) {
    auto reply = callMethod(*connection_, kRemoteDesktopInterface, method, parameters, timeout_);
    if (!reply) return reply.error();
    return std::nullopt;
}

std::optional<PortalError> PortalRemoteDesktop::scroll(int32_t lines) {
    if (lines == 0) return std::nullopt;
    return notify("NotifyPointerAxisDiscrete",
                  g_variant_new("(o@a{sv}ui)", session_.c_str(), emptyOptions(), kVerticalAxis, discreteAxisSteps(lines)));
}

std::optional<PortalError> PortalRemoteDesktop::movePointer(Point layoutPoint) {
    const auto target = streamPointFor(streams_, layoutPoint);
    if (!target) return PortalError{PortalError::Kind::failed, "the pointer's place is on no shared screen"};
    return notify("NotifyPointerMotionAbsolute", g_variant_new("(o@a{sv}udd)", session_.c_str(), emptyOptions(),
                                                               target->nodeID, target->position.x, target->position.y));
}

void PortalRemoteDesktop::close() noexcept {
    (void)callObjectMethod(*connection_, session_, "org.freedesktop.portal.Session", "Close", nullptr, timeout_);
}

}  // namespace tessarin::portal
