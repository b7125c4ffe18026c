#pragma once
// What the interactive capture's X tests share.

#include <string>

#include <xcb/xcb.h>

#include "platform/x11/XcbEvents.h"

namespace tessarin::x11::testing {

inline xcb_atom_t atomNamed(xcb_connection_t* c, const std::string& name) { return internAtom(c, name); }

}  // namespace tessarin::x11::testing
