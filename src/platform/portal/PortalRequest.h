#pragma once
// Calls into xdg-desktop-portal over GDBus (GIO only: the agent never loads
// Qt). Every call has a time-out, and every way a portal can fail (no bus, no
// portal, a refusal, the user's cancel, no answer) comes back as a
// PortalError with a message a person can act on, never as a hang.
//
// A portal method that asks the user something answers at once with the path
// of a Request object and later sends that object's Response signal.
// callRequest subscribes to the signal before the call (the Request's path is
// known in advance from our unique name and the handle_token we pick), so the
// answer cannot be missed, and waits for it on a main context of its own:
// calls from several threads at once do not share any loop.

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/common/Expected.h"

namespace tessarin::portal {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";
inline constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

struct GVariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;
// Takes a floating reference (what g_variant_new returns) or adds one.
inline GVariantPtr ownVariant(GVariant* variant) { return GVariantPtr(variant ? g_variant_ref_sink(variant) : nullptr); }

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct PortalError {
    enum class Kind {
        noBus,          // no session bus to talk to
        missingPortal,  // no portal service, or it lacks the interface or method
        denied,         // refused, or ended without a result (response 2, NotAllowed)
        cancelled,      // the user cancelled (response 1)
        timedOut,       // no answer in time; the request was closed
        failed,         // anything else, with the portal's own words
    };
    Kind kind = Kind::failed;
    std::string message;
    friend bool operator==(const PortalError&, const PortalError&) = default;
};

std::string_view portalErrorKindName(PortalError::Kind kind);

// One private connection to the session bus.
class PortalConnection {
public:
    // The session bus of this process's environment (DBUS_SESSION_BUS_ADDRESS,
    // else $XDG_RUNTIME_DIR/bus); noBus when there is none. Never starts a bus.
    static Expected<std::shared_ptr<PortalConnection>, PortalError> open();
    static Expected<std::shared_ptr<PortalConnection>, PortalError> openAddress(const std::string& address);
    // `given` when there is one, else open()'s.
    static Expected<std::shared_ptr<PortalConnection>, PortalError> givenOrOpen(std::shared_ptr<PortalConnection> given);

    explicit PortalConnection(GObjectPtr<GDBusConnection> bus) : bus_(std::move(bus)) {}
    GDBusConnection* bus() const { return bus_.get(); }
    // The unique name as a Request path element: ":1.42" -> "1_42".
    std::string senderPath() const;

private:
    GObjectPtr<GDBusConnection> bus_;
};

// The address open() connects to, from the two variables' values; nothing
// when neither gives one (the bus socket file must exist).
std::optional<std::string> sessionBusAddress(const char* busAddressVariable, const char* runtimeDirVariable);

// The object path the portal gives the Request for `token` from `connection`.
std::string requestPath(const PortalConnection& connection, const std::string& token);

// Calls `interface`.`method` on the portal with `parameters` (a tuple whose
// last a{sv} is the options; "handle_token" is added to them; a floating
// reference is consumed) and waits up to `timeout` for the Response. Returns
// the results a{sv} for response 0; cancelled for 1 (the user cancelled);
// denied for 2 (the interaction ended otherwise: that is how
// xdg-desktop-portal answers when the user or the permission store refuses,
// and also how a back end reports its own failure); timedOut (after closing
// the Request) when no answer came in time; missingPortal when the portal or
// the method does not exist. Cancelling `abandon` (from any thread) stops
// the wait early: the Request is closed, and the answer is cancelled.
Expected<GVariantPtr, PortalError> callRequest(PortalConnection& connection, const char* interface,
                                               const char* method, GVariant* parameters,
                                               std::chrono::milliseconds timeout, GCancellable* abandon = nullptr);

// A plain method call on the portal object (no Request), e.g.
// OpenPipeWireRemote; returns the reply tuple. `outFds` receives the reply's
// file descriptors when given.
Expected<GVariantPtr, PortalError> callMethod(PortalConnection& connection, const char* interface,
                                              const char* method, GVariant* parameters,
                                              std::chrono::milliseconds timeout, GUnixFDList** outFds = nullptr);

// The same on another object of the portal (a Session's Close, say).
Expected<GVariantPtr, PortalError> callObjectMethod(PortalConnection& connection, const std::string& objectPath,
                                                    const char* interface, const char* method, GVariant* parameters,
                                                    std::chrono::milliseconds timeout, GUnixFDList** outFds = nullptr);

// One property of a portal interface (e.g. "version", "AvailableSourceTypes").
Expected<GVariantPtr, PortalError> readProperty(PortalConnection& connection, const char* interface,
                                                const char* property, std::chrono::milliseconds timeout);

struct PortalInterface {
    std::string name;      // e.g. "org.freedesktop.portal.Screenshot"
    uint32_t version = 0;  // its "version" property; 0 when it has none
    friend bool operator==(const PortalInterface&, const PortalInterface&) = default;
};

// The org.freedesktop.portal.* interfaces the portal object exports, sorted
// by name; missingPortal when nothing answers on the bus.
Expected<std::vector<PortalInterface>, PortalError> availablePortals(PortalConnection& connection,
                                                                     std::chrono::milliseconds timeout);

}  // namespace tessarin::portal
