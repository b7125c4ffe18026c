#pragma once
// One connection to an X server: the screen we capture, the atoms we read,
// which extensions the server offers, and typed property reads. Everything
// the X11 back end asks the server goes through the raw connection here.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include <xcb/xcb.h>

#include "core/common/Expected.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {

// Atoms interned once at connect time (the predefined ones such as WM_NAME
// and WM_CLASS come from xproto.h instead).
struct Atoms {
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t netWmPid = XCB_ATOM_NONE;
    xcb_atom_t netClientList = XCB_ATOM_NONE;
    xcb_atom_t netClientListStacking = XCB_ATOM_NONE;
    xcb_atom_t netWorkarea = XCB_ATOM_NONE;
    xcb_atom_t netCurrentDesktop = XCB_ATOM_NONE;
};

// Which optional parts of the protocol the server speaks.
struct Extensions {
    bool shm = false;
    bool randrMonitors = false;  // RandR 1.5 or later
    bool composite = false;      // 0.2 or later (NameWindowPixmap)
    bool xtest = false;
};

class X11Connection {
public:
    // Connects to `displayName` (as in DISPLAY). The error is a sentence for
    // the null back end's reason.
    static Expected<std::unique_ptr<X11Connection>, std::string> open(const std::string& displayName);

    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* raw() const { return connection_; }
    const xcb_screen_t& screen() const { return *screen_; }
    xcb_window_t root() const { return screen_->root; }
    const std::string& displayName() const { return displayName_; }
    const Atoms& atoms() const { return atoms_; }
    const Extensions& extensions() const { return extensions_; }

    // True once the server went away or the stream broke; libxcb then fails
    // every request, so callers report this instead of each failed reply.
    bool isBroken() const { return xcb_connection_has_error(connection_) != 0; }
    std::string brokenMessage() const;

    // The largest request the server accepts, in bytes.
    uint64_t maximumRequestBytes() const;

    // Waits for all earlier requests to be processed by the server.
    void sync() const;

    // The property's raw bytes when it exists with the given type (or any
    // type when `type` is XCB_GET_PROPERTY_TYPE_ANY), with its format and
    // actual type.
    struct Property {
        xcb_atom_t type = XCB_ATOM_NONE;
        uint8_t format = 0;
        std::string bytes;
    };
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const;
    std::optional<Property> takeProperty(xcb_get_property_cookie_t cookie) const;
    std::optional<Property> readProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const {
        return takeProperty(requestProperty(window, property, type));
    }
    // A property of 32-bit items (CARDINAL, WINDOW); empty when absent.
    std::vector<uint32_t> readCardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const {
        return takeCardinals(requestProperty(window, property, type), type);
    }
    std::vector<uint32_t> takeCardinals(xcb_get_property_cookie_t cookie, xcb_atom_t type) const;

    // The names of `atoms`, in order; empty for an atom the server does not
    // know. Each is asked of the server once per connection: an atom keeps
    // its name as long as the server runs.
    std::vector<std::string> atomNames(std::span<const xcb_atom_t> atoms) const;

private:
    X11Connection(xcb_connection_t* connection, const xcb_screen_t* screen, std::string displayName);
    std::vector<xcb_intern_atom_cookie_t> requestAtoms() const;
    void takeAtoms(const std::vector<xcb_intern_atom_cookie_t>& cookies);
    void probeExtensions();

    xcb_connection_t* connection_;
    const xcb_screen_t* screen_;
    std::string displayName_;
    Atoms atoms_;
    Extensions extensions_;
    mutable std::mutex atomNamesMutex_;
    mutable std::unordered_map<xcb_atom_t, std::string> atomNames_;
};

// Why xcb_connect failed, for a connection error code from libxcb.
std::string connectionErrorText(int code);

// The items of a 32-bit-format property, read without alignment assumptions.
std::vector<uint32_t> cardinalsFromBytes(const std::string& bytes);

}  // namespace tessarin::x11
