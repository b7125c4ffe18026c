#include "platform/portal/FakeDesktopPortal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tessarin::testing {
namespace {

constexpr const char* kIntrospection = R"(<node>
  <interface name="org.freedesktop.portal.Screenshot">
    <method name="Screenshot">
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Request">
    <method name="Close"/>
  </interface>
</node>)";

GDBusNodeInfo* nodeInfo() {
    static GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    return info;
}

[[noreturn]] void abortWith(const char* what, GError* error) {
    std::fprintf(stderr, "fake portal: %s: %s\n", what, error ? error->message : "?");
    std::abort();
}

std::string senderPath(const char* sender) {
    std::string path = sender + 1;  // ":1.42" -> "1.42"
    std::replace(path.begin(), path.end(), '.', '_');
    return path;
}

}  // namespace

FakeDesktopPortal::FakeDesktopPortal(Behaviour behaviour, std::string uri)
    : behaviour_(behaviour), uri_(std::move(uri)) {
    thread_ = std::thread([this] { serve(); });
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return serving_; });
}

FakeDesktopPortal::~FakeDesktopPortal() {
    g_main_context_invoke(
        context_, [](gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); return G_SOURCE_REMOVE; },
        loop_);
    thread_.join();
}

void FakeDesktopPortal::serve() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    GError* error = nullptr;
    char* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!address) abortWith("no bus address", error);
    bus_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(address);
    if (!bus_) abortWith("cannot connect", error);

    static const GDBusInterfaceVTable vtable{onMethodCall, onGetProperty, nullptr, {}};
    if (!g_dbus_connection_register_object(bus_, "/org/freedesktop/portal/desktop", nodeInfo()->interfaces[0],
                                           &vtable, this, nullptr, &error)) {
        abortWith("cannot register", error);
    }
    // DO_NOT_QUEUE (4): fail at once when another test's portal still owns it.
    GVariant* reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (!reply) abortWith("RequestName failed", error);
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    if (result != 1) abortWith("not the primary owner of org.freedesktop.portal.Desktop", nullptr);
    {
        std::lock_guard lock(mutex_);
        serving_ = true;
    }
    ready_.notify_all();

    g_main_loop_run(loop_);

    reply = g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                        "ReleaseName", g_variant_new("(s)", "org.freedesktop.portal.Desktop"), nullptr,
                                        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
}

std::vector<std::string> FakeDesktopPortal::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> FakeDesktopPortal::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void FakeDesktopPortal::onMethodCall(GDBusConnection*, const char* sender, const char* path, const char* interface,
                                     const char* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                                     gpointer data) {
    auto* self = static_cast<FakeDesktopPortal*>(data);
    if (std::string_view(interface) == "org.freedesktop.portal.Request" && std::string_view(method) == "Close") {
        {
            std::lock_guard lock(self->mutex_);
            self->closed_.emplace_back(path);
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
        return;
    }
    self->screenshot(sender, parameters, invocation);
}

GVariant* FakeDesktopPortal::onGetProperty(GDBusConnection*, const char*, const char*, const char*,
                                           const char* property, GError**, gpointer) {
    if (std::string_view(property) == "version") return g_variant_new_uint32(2);
    return nullptr;
}

void FakeDesktopPortal::screenshot(const char* sender, GVariant* parameters, GDBusMethodInvocation* invocation) {
    if (behaviour_ == Behaviour::notAllowed) {
        g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotAllowed",
                                                   "Screenshots are not allowed");
        return;
    }
    GVariant* options = g_variant_get_child_value(parameters, 1);
    const char* token = "unset";
    g_variant_lookup(options, "handle_token", "&s", &token);
    const std::string handle = "/org/freedesktop/portal/desktop/request/" + senderPath(sender) + "/" + token;
    GVariant* echo = g_variant_lookup_value(options, "echo", nullptr);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(handle);
    }
    static const GDBusInterfaceVTable requestVtable{onMethodCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(bus_, handle.c_str(), nodeInfo()->interfaces[1], &requestVtable, this, nullptr,
                                      nullptr);

    if (behaviour_ != Behaviour::silent) {
        const guint32 code = behaviour_ == Behaviour::answer ? 0 : behaviour_ == Behaviour::cancel ? 1 : 2;
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
        if (code == 0) g_variant_builder_add(&results, "{sv}", "uri", g_variant_new_string(uri_.c_str()));
        if (code == 0 && echo) g_variant_builder_add(&results, "{sv}", "echo", echo);
        // Before the method's own reply: the caller must be listening already.
        g_dbus_connection_emit_signal(bus_, sender, handle.c_str(), "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(ua{sv})", code, &results), nullptr);
    }
    if (echo) g_variant_unref(echo);
    g_variant_unref(options);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", handle.c_str()));
}

}  // namespace tessarin::testing
