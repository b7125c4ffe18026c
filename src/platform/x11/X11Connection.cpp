#include "platform/x11/X11Connection.h"

#include <array>
#include <cstring>
#include <string_view>

#include <xcb/bigreq.h>
#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/shm.h>

namespace tessarin::x11 {

namespace {

// Longest property we read, in 32-bit units: 4 MiB covers resource databases
// and client lists of any real desktop.
constexpr uint32_t kMaxPropertyWords = 1u << 20;

const xcb_screen_t* screenNumber(xcb_connection_t* connection, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
        if (i == number) return it.data;
    }
    return nullptr;
}

std::string timeoutText() {
    const auto milliseconds = replyTimeout().count();
    if (milliseconds == 1000) return "1 second";
    if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " seconds";
    return std::to_string(milliseconds) + " ms";
}

}  // namespace

std::string connectionErrorText(int code) {
    switch (code) {
        case XCB_CONN_ERROR: return "no X server answered, or it refused the connection";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED: return "the server lacks a required extension";
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return "out of memory";
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED: return "a request exceeded the server's maximum length";
        case XCB_CONN_CLOSED_PARSE_ERR: return "the display name could not be parsed";
        case XCB_CONN_CLOSED_INVALID_SCREEN: return "the server has no such screen";
        case XCB_CONN_CLOSED_FDPASSING_FAILED: return "passing a file descriptor to the server failed";
        default: return "connection error " + std::to_string(code);
    }
}

std::vector<uint32_t> cardinalsFromBytes(const std::string& bytes) {
    std::vector<uint32_t> values(bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

Expected<std::unique_ptr<X11Connection>, std::string> X11Connection::open(const std::string& displayName) {
    int screen = 0;
    xcb_connection_t* connection = connectWithin(displayName, &screen);
    if (connection == nullptr) {
        return unexpected("cannot open X display \"" + displayName + "\": the X server did not answer within " +
                          timeoutText());
    }
    // xcb_connect never returns null; a failed connection still has to be
    // disconnected to free it.
    if (const int code = xcb_connection_has_error(connection); code != 0) {
        xcb_disconnect(connection);
        return unexpected("cannot open X display \"" + displayName + "\": " + connectionErrorText(code));
    }
    const xcb_screen_t* root = screenNumber(connection, screen);
    if (root == nullptr) {
        xcb_disconnect(connection);
        return unexpected("cannot open X display \"" + displayName + "\": the server has no screen " +
                          std::to_string(screen));
    }
    std::unique_ptr<X11Connection> result(new X11Connection(connection, root, displayName));
    // The atoms' requests travel with the extension queries: one round trip less.
    const auto atomCookies = result->requestAtoms();
    result->probeExtensions();
    result->takeAtoms(atomCookies);
    if (result->isBroken()) {
        return unexpected("cannot open X display \"" + displayName + "\": " + result->brokenMessage());
    }
    return result;
}

X11Connection::X11Connection(xcb_connection_t* connection, const xcb_screen_t* screen, std::string displayName)
    : connection_(connection), screen_(screen), displayName_(std::move(displayName)) {}

X11Connection::~X11Connection() {
    forgetConnection(connection_);
    xcb_disconnect(connection_);
}

std::string X11Connection::brokenMessage() const {
    if (timedOut(connection_)) return "X display " + displayName_ + " did not answer within " + timeoutText();
    return "lost the connection to X display " + displayName_ + " (" +
           connectionErrorText(xcb_connection_has_error(connection_)) + ")";
}

uint64_t X11Connection::maximumRequestBytes() const {
    // In 4-byte units; BIG-REQUESTS is negotiated here when the server has it.
    return uint64_t{xcb_get_maximum_request_length(connection_)} * 4;
}

void X11Connection::sync() const { syncWithin(connection_); }

namespace {

struct AtomEntry {
    std::string_view name;
    xcb_atom_t Atoms::*member;
};
constexpr std::array kAtomEntries{
    AtomEntry{"UTF8_STRING", &Atoms::utf8String},
    AtomEntry{"_NET_WM_NAME", &Atoms::netWmName},
    AtomEntry{"_NET_WM_PID", &Atoms::netWmPid},
    AtomEntry{"_NET_CLIENT_LIST", &Atoms::netClientList},
    AtomEntry{"_NET_CLIENT_LIST_STACKING", &Atoms::netClientListStacking},
    AtomEntry{"_NET_WORKAREA", &Atoms::netWorkarea},
    AtomEntry{"_NET_CURRENT_DESKTOP", &Atoms::netCurrentDesktop},
};

}  // namespace

std::vector<xcb_intern_atom_cookie_t> X11Connection::requestAtoms() const {
    // All requests first, then all replies: one round trip instead of seven.
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(kAtomEntries.size());
    for (const AtomEntry& entry : kAtomEntries) {
        cookies.push_back(
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(entry.name.size()), entry.name.data()));
    }
    return cookies;
}

void X11Connection::takeAtoms(const std::vector<xcb_intern_atom_cookie_t>& cookies) {
    for (size_t i = 0; i < kAtomEntries.size(); ++i) {
        if (auto reply = waitReply(xcb_intern_atom_reply, connection_, cookies[i])) {
            atoms_.*kAtomEntries[i].member = reply->atom;
        }
    }
}

void X11Connection::probeExtensions() {
    // Prefetch all four so their QueryExtension round trips overlap.
    xcb_prefetch_extension_data(connection_, &xcb_shm_id);
    xcb_prefetch_extension_data(connection_, &xcb_randr_id);
    xcb_prefetch_extension_data(connection_, &xcb_composite_id);
    xcb_prefetch_extension_data(connection_, &xcb_big_requests_id);
    constexpr std::string_view xtestName = "XTEST";
    const auto xtestCookie =
        xcb_query_extension(connection_, static_cast<uint16_t>(xtestName.size()), xtestName.data());
    // xcb_get_extension_data below waits without limit; after this bounded
    // round trip the answers are already here (or the connection is shut).
    syncWithin(connection_);

    auto present = [this](xcb_extension_t* extension) {
        const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, extension);
        return data != nullptr && data->present != 0;
    };
    const bool shm = present(&xcb_shm_id);
    const bool randr = present(&xcb_randr_id);
    const bool composite = present(&xcb_composite_id);
    // BIG-REQUESTS is known now, so this only sends its enable request; the
    // reply is read with the version replies below. Asked later, libxcb
    // would wait for it without limit.
    xcb_prefetch_maximum_request_length(connection_);

    // Version requests are only legal on present extensions.
    xcb_shm_query_version_cookie_t shmCookie{};
    xcb_randr_query_version_cookie_t randrCookie{};
    xcb_composite_query_version_cookie_t compositeCookie{};
    if (shm) shmCookie = xcb_shm_query_version(connection_);
    if (randr) randrCookie = xcb_randr_query_version(connection_, 1, 5);
    if (composite) compositeCookie = xcb_composite_query_version(connection_, 0, 2);

    if (shm) extensions_.shm = waitReply(xcb_shm_query_version_reply, connection_, shmCookie) != nullptr;
    if (randr) {
        if (auto reply = waitReply(xcb_randr_query_version_reply, connection_, randrCookie)) {
            extensions_.randrMonitors =
                reply->major_version > 1 || (reply->major_version == 1 && reply->minor_version >= 5);
        }
    }
    if (composite) {
        if (auto reply = waitReply(xcb_composite_query_version_reply, connection_, compositeCookie)) {
            extensions_.composite =
                reply->major_version > 0 || (reply->major_version == 0 && reply->minor_version >= 2);
        }
    }
    if (auto reply = waitReply(xcb_query_extension_reply, connection_, xtestCookie)) {
        extensions_.xtest = reply->present != 0;
    }
}

xcb_get_property_cookie_t X11Connection::requestProperty(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type) const {
    return xcb_get_property(connection_, 0, window, property, type, 0, kMaxPropertyWords);
}

std::optional<X11Connection::Property> X11Connection::takeProperty(xcb_get_property_cookie_t cookie) const {
    auto reply = waitReply(xcb_get_property_reply, connection_, cookie);
    // A missing property comes back as type None; a type mismatch as a reply
    // with the actual type and no value.
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0 && reply->bytes_after > 0) return std::nullopt;
    Property result;
    result.type = reply->type;
    result.format = reply->format;
    if (length > 0) {
        result.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            static_cast<size_t>(length));
    }
    return result;
}

std::vector<uint32_t> X11Connection::takeCardinals(xcb_get_property_cookie_t cookie, xcb_atom_t type) const {
    auto value = takeProperty(cookie);
    if (!value || value->format != 32 || value->type != type) return {};
    return cardinalsFromBytes(value->bytes);
}

std::vector<std::string> X11Connection::atomNames(std::span<const xcb_atom_t> atoms) const {
    std::vector<std::string> names(atoms.size());
    std::vector<std::pair<size_t, xcb_get_atom_name_cookie_t>> asked;
    {
        std::lock_guard lock(atomNamesMutex_);
        for (size_t i = 0; i < atoms.size(); ++i) {
            if (const auto known = atomNames_.find(atoms[i]); known != atomNames_.end()) {
                names[i] = known->second;
            } else {
                asked.emplace_back(i, xcb_get_atom_name(connection_, atoms[i]));
            }
        }
    }
    for (const auto& [index, cookie] : asked) {
        auto reply = waitReply(xcb_get_atom_name_reply, connection_, cookie);
        if (!reply) continue;  // not remembered: a later call asks again
        names[index].assign(xcb_get_atom_name_name(reply.get()),
                            static_cast<size_t>(xcb_get_atom_name_name_length(reply.get())));
        std::lock_guard lock(atomNamesMutex_);
        atomNames_.emplace(atoms[index], names[index]);
    }
    return names;
}

}  // namespace tessarin::x11
