#include "platform/portal/PortalRequest.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace tessarin::portal {
namespace {

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct NodeInfoUnref {
    void operator()(GDBusNodeInfo* info) const { g_dbus_node_info_unref(info); }
};

int clampedMilliseconds(std::chrono::milliseconds timeout) {
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, 24 * 3600 * 1000));
}

std::string remoteErrorName(GError* error) {
    char* name = g_dbus_error_get_remote_error(error);
    if (name == nullptr) return {};
    std::string copy(name);
    g_free(name);
    return copy;
}

bool meansMissing(GError* error) {
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT)) {
        return true;
    }
    const std::string name = remoteErrorName(error);
    return name == "org.freedesktop.DBus.Error.UnknownInterface" || name == "org.freedesktop.DBus.Error.UnknownObject";
}

// One place that turns a failed call into what the caller can tell a person.
PortalError classify(GError* error, const std::string& what) {
    const std::string name = remoteErrorName(error);
    g_dbus_error_strip_remote_error(error);
    const std::string detail = error->message != nullptr ? error->message : "unknown error";
    if (meansMissing(error)) return {PortalError::Kind::missingPortal, "no desktop portal offers " + what + " (" + detail + ")"};
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT)) {
        return {PortalError::Kind::timedOut, "the desktop portal did not answer " + what + " in time"};
    }
    if (name == "org.freedesktop.portal.Error.NotAllowed" ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED)) {
        return {PortalError::Kind::denied, "the desktop portal refused " + what + ": " + detail};
    }
    if (name == "org.freedesktop.portal.Error.Cancelled") {
        return {PortalError::Kind::cancelled, what + " was cancelled"};
    }
    return {PortalError::Kind::failed, what + " failed: " + detail};
}

std::string describe(const char* interface, const char* method) {
    return std::string(interface) + "." + method;
}

std::string nextHandleToken() {
    static std::atomic<uint32_t> counter{0};
    return "tessarin_" + std::to_string(++counter) + "_" + std::to_string(g_random_int());
}

// `parameters` with "handle_token" set in its last a{sv} child.
Expected<GVariantPtr, PortalError> withHandleToken(GVariant* parameters, const std::string& token) {
    const GVariantPtr tuple = ownVariant(parameters);
    if (!tuple || !g_variant_is_of_type(tuple.get(), G_VARIANT_TYPE_TUPLE)) {
        return unexpected(PortalError{PortalError::Kind::failed, "portal request parameters must be a tuple"});
    }
    const gsize count = g_variant_n_children(tuple.get());
    std::vector<GVariant*> children;
    std::optional<gsize> optionsIndex;
    for (gsize i = 0; i < count; ++i) {
        children.push_back(g_variant_get_child_value(tuple.get(), i));
        if (g_variant_is_of_type(children.back(), G_VARIANT_TYPE_VARDICT)) optionsIndex = i;
    }
    if (!optionsIndex) {
        for (GVariant* child : children) g_variant_unref(child);
        return unexpected(PortalError{PortalError::Kind::failed, "portal request parameters have no options a{sv}"});
    }
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    GVariantIter iter;
    g_variant_iter_init(&iter, children[*optionsIndex]);
    const char* key = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_next(&iter, "{&sv}", &key, &value)) {
        if (std::string_view(key) != "handle_token") g_variant_builder_add(&options, "{sv}", key, value);
        g_variant_unref(value);
    }
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_unref(children[*optionsIndex]);
    children[*optionsIndex] = g_variant_builder_end(&options);
    return ownVariant(g_variant_new_tuple(children.data(), children.size()));
}

// What the Response signal delivered; shared with the subscription, which
// may outlive the call by one turn of the context (its destroy notify).
struct ResponseState {
    bool answered = false;
    uint32_t code = 0;
    GVariantPtr results;
};

void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                gpointer data) {
    auto& state = **static_cast<std::shared_ptr<ResponseState>*>(data);
    if (state.answered || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    GVariant* results = nullptr;
    guint32 code = 0;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    state.answered = true;
    state.code = code;
    state.results.reset(results);
}

void releaseState(gpointer data) { delete static_cast<std::shared_ptr<ResponseState>*>(data); }

// A main context of the calling thread's own for one request: the Response
// subscription delivers into it, and only this call iterates it.
class PrivateContext {
public:
    PrivateContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
    ~PrivateContext() {
        while (g_main_context_iteration(context_, FALSE)) {
        }
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }
    PrivateContext(const PrivateContext&) = delete;
    PrivateContext& operator=(const PrivateContext&) = delete;
    GMainContext* get() const { return context_; }

private:
    GMainContext* context_;
};

class ResponseSubscription {
public:
    ResponseSubscription(GDBusConnection* bus, const std::string& path, std::shared_ptr<ResponseState> state)
        : bus_(bus) {
        id_ = g_dbus_connection_signal_subscribe(bus, kPortalService, kRequestInterface, "Response", path.c_str(),
                                                 nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onResponse,
                                                  new std::shared_ptr<ResponseState>(std::move(state)),
                                                 releaseState);
    }
    ~ResponseSubscription() { g_dbus_connection_signal_unsubscribe(bus_, id_); }
    ResponseSubscription(const ResponseSubscription&) = delete;
    ResponseSubscription& operator=(const ResponseSubscription&) = delete;

private:
    GDBusConnection* bus_;
    guint id_ = 0;
};

gboolean markTimedOut(gpointer data) {
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}

gboolean markAbandoned(GCancellable*, gpointer data) {
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}

void closeRequest(GDBusConnection* bus, const std::string& path) {
    GError* ignored = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, kPortalService, path.c_str(), kRequestInterface, "Close",
                                                  nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &ignored);
    if (reply != nullptr) g_variant_unref(reply);
    if (ignored != nullptr) g_error_free(ignored);
}

}  // namespace

std::string_view portalErrorKindName(PortalError::Kind kind) {
    switch (kind) {
        case PortalError::Kind::noBus: return "no-bus";
        case PortalError::Kind::missingPortal: return "missing-portal";
        case PortalError::Kind::denied: return "denied";
        case PortalError::Kind::cancelled: return "cancelled";
        case PortalError::Kind::timedOut: return "timed-out";
        case PortalError::Kind::failed: return "failed";
    }
    return "unknown";
}

std::optional<std::string> sessionBusAddress(const char* busAddressVariable, const char* runtimeDirVariable) {
    if (busAddressVariable != nullptr && *busAddressVariable != '\0') return std::string(busAddressVariable);
    if (runtimeDirVariable == nullptr || *runtimeDirVariable == '\0') return std::nullopt;
    const std::string socket = std::string(runtimeDirVariable) + "/bus";
    struct stat info {};
    if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return std::nullopt;
    // D-Bus addresses escape everything but a few characters.
    char* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

Expected<std::shared_ptr<PortalConnection>, PortalError> PortalConnection::open() {
    const auto address = sessionBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"));
    if (!address) {
        return unexpected(PortalError{PortalError::Kind::noBus,
                                      "no session D-Bus (DBUS_SESSION_BUS_ADDRESS is not set and $XDG_RUNTIME_DIR/bus "
                                      "does not exist); the desktop portals are reached through it"});
    }
    return openAddress(*address);
}

Expected<std::shared_ptr<PortalConnection>, PortalError> PortalConnection::givenOrOpen(
    std::shared_ptr<PortalConnection> given) {
    if (given) return given;
    return open();
}

Expected<std::shared_ptr<PortalConnection>, PortalError> PortalConnection::openAddress(const std::string& address) {
    GError* raw = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &raw);
    if (bus == nullptr) {
        const GErrorPtr error(raw);
        return unexpected(PortalError{PortalError::Kind::noBus, "cannot connect to the session D-Bus at " + address +
                                                                    ": " + (error ? error->message : "unknown error")});
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    return std::make_shared<PortalConnection>(GObjectPtr<GDBusConnection>(bus));
}

std::string PortalConnection::senderPath() const {
    const char* unique = g_dbus_connection_get_unique_name(bus_.get());
    std::string path = unique != nullptr ? unique : "";
    if (!path.empty() && path.front() == ':') path.erase(0, 1);
    std::replace(path.begin(), path.end(), '.', '_');
    return path;
}

std::string requestPath(const PortalConnection& connection, const std::string& token) {
    return std::string(kPortalObject) + "/request/" + connection.senderPath() + "/" + token;
}

Expected<GVariantPtr, PortalError> callRequest(PortalConnection& connection, const char* interface,
                                               const char* method, GVariant* parameters,
                                               std::chrono::milliseconds timeout, GCancellable* abandon) {
    const std::string what = describe(interface, method);
    const std::string token = nextHandleToken();
    auto tokened = withHandleToken(parameters, token);
    if (!tokened) return unexpected(tokened.error());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto remaining = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };

    const PrivateContext context;
    auto state = std::make_shared<ResponseState>();
    std::string handle = requestPath(connection, token);
    auto subscription = std::make_unique<ResponseSubscription>(connection.bus(), handle, state);

    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(connection.bus(), kPortalService, kPortalObject, interface, method,
                                                  tokened->release(), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
                                                  clampedMilliseconds(remaining()), abandon, &raw);
    if (reply == nullptr) {
        const GErrorPtr error(raw);
        if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            // The call may have reached the portal: its Request is at the path we chose.
            closeRequest(connection.bus(), handle);
            return unexpected(PortalError{PortalError::Kind::cancelled, what + " was given up; the request was closed"});
        }
        return unexpected(classify(error.get(), what));
    }
    const GVariantPtr owned(reply);
    const char* returned = nullptr;
    g_variant_get(reply, "(&o)", &returned);
    if (handle != returned) {
        // Portals before 0.9 chose the path themselves: follow it.
        handle = returned;
        subscription = std::make_unique<ResponseSubscription>(connection.bus(), handle, state);
    }

    bool timedOut = remaining().count() <= 0;
    GSource* timer = g_timeout_source_new(static_cast<guint>(std::max<int64_t>(remaining().count(), 0)));
    g_source_set_callback(timer, markTimedOut, &timedOut, nullptr);
    g_source_attach(timer, context.get());
    bool abandoned = false;
    GSource* abandonment = abandon != nullptr ? g_cancellable_source_new(abandon) : nullptr;
    if (abandonment != nullptr) {
        g_source_set_callback(abandonment, G_SOURCE_FUNC(markAbandoned), &abandoned, nullptr);
        g_source_attach(abandonment, context.get());
    }
    while (!state->answered && !timedOut && !abandoned) g_main_context_iteration(context.get(), TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    if (abandonment != nullptr) {
        g_source_destroy(abandonment);
        g_source_unref(abandonment);
    }
    subscription.reset();

    if (!state->answered && abandoned) {
        closeRequest(connection.bus(), handle);
        return unexpected(PortalError{PortalError::Kind::cancelled, what + " was given up; the request was closed"});
    }

    if (!state->answered) {
        closeRequest(connection.bus(), handle);
        return unexpected(PortalError{PortalError::Kind::timedOut,
                                      "the desktop portal did not answer " + what + " within " +
                                          std::to_string(timeout.count()) + " ms; the request was closed"});
    }
    switch (state->code) {
        case 0: return std::move(state->results);
        case 1: return unexpected(PortalError{PortalError::Kind::cancelled, what + " was cancelled"});
        case 2:
            return unexpected(PortalError{PortalError::Kind::denied,
                                          "the desktop portal refused " + what + " or could not carry it out"});
        default:
            return unexpected(PortalError{PortalError::Kind::failed,
                                          what + " failed (response " + std::to_string(state->code) + ")"});
    }
}

Expected<GVariantPtr, PortalError> callMethod(PortalConnection& connection, const char* interface,
                                              const char* method, GVariant* parameters,
                                              std::chrono::milliseconds timeout, GUnixFDList** outFds) {
    return callObjectMethod(connection, kPortalObject, interface, method, parameters, timeout, outFds);
}

Expected<GVariantPtr, PortalError> callObjectMethod(PortalConnection& connection, const std::string& objectPath,
                                                    const char* interface, const char* method, GVariant* parameters,
                                                    std::chrono::milliseconds timeout, GUnixFDList** outFds) {
    if (!g_variant_is_object_path(objectPath.c_str())) {
        if (parameters != nullptr) g_variant_unref(g_variant_ref_sink(parameters));
        return unexpected(PortalError{PortalError::Kind::failed, "not a D-Bus object path: \"" + objectPath + "\""});
    }
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        connection.bus(), kPortalService, objectPath.c_str(), interface, method, parameters, nullptr,
        G_DBUS_CALL_FLAGS_NONE, clampedMilliseconds(timeout), nullptr, outFds, nullptr, &raw);
    if (reply == nullptr) {
        const GErrorPtr error(raw);
        return unexpected(classify(error.get(), describe(interface, method)));
    }
    return GVariantPtr(reply);
}

Expected<GVariantPtr, PortalError> readProperty(PortalConnection& connection, const char* interface,
                                                const char* property, std::chrono::milliseconds timeout) {
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection.bus(), kPortalService, kPortalObject, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", interface, property), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        clampedMilliseconds(timeout), nullptr, &raw);
    const std::string what = describe(interface, property);
    if (reply == nullptr) {
        const GErrorPtr error(raw);
        // GDBus answers InvalidArgs for an interface or property it does not export.
        if (g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS)) {
            g_dbus_error_strip_remote_error(error.get());
            return unexpected(PortalError{PortalError::Kind::missingPortal,
                                          "no desktop portal offers " + what + " (" + error->message + ")"});
        }
        return unexpected(classify(error.get(), what));
    }
    const GVariantPtr owned(reply);
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    return GVariantPtr(value);
}

Expected<std::vector<PortalInterface>, PortalError> availablePortals(PortalConnection& connection,
                                                                     std::chrono::milliseconds timeout) {
    auto reply = callMethod(connection, "org.freedesktop.DBus.Introspectable", "Introspect", nullptr, timeout);
    if (!reply) return unexpected(reply.error());
    if (!g_variant_is_of_type(reply->get(), G_VARIANT_TYPE("(s)"))) {
        return unexpected(PortalError{PortalError::Kind::failed, "the desktop portal's introspection is not a string"});
    }
    const char* xml = nullptr;
    g_variant_get(reply->get(), "(&s)", &xml);
    GError* raw = nullptr;
    const std::unique_ptr<GDBusNodeInfo, NodeInfoUnref> node(g_dbus_node_info_new_for_xml(xml, &raw));
    if (!node) {
        const GErrorPtr error(raw);
        return unexpected(PortalError{PortalError::Kind::failed,
                                      std::string("the desktop portal's introspection is unreadable: ") + error->message});
    }
    std::vector<PortalInterface> found;
    for (GDBusInterfaceInfo** info = node->interfaces; info != nullptr && *info != nullptr; ++info) {
        const std::string name = (*info)->name;
        if (!name.starts_with("org.freedesktop.portal.")) continue;
        PortalInterface portal{name, 0};
        if (auto version = readProperty(connection, name.c_str(), "version", timeout);
            version && g_variant_is_of_type(version->get(), G_VARIANT_TYPE_UINT32)) {
            portal.version = g_variant_get_uint32(version->get());
        }
        found.push_back(std::move(portal));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return found;
}

}  // namespace tessarin::portal
