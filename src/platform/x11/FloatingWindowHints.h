#pragma once
// The EWMH hints of a floating panel of ours (a Quick Access thumbnail):
// above other windows, on every desktop, out of the taskbar and pager. Set
// on a window that is not mapped, where a window manager reads them; a
// manager drops _NET_WM_STATE when a window is withdrawn, so they are set
// again before each map. The connection is the toolkit's own.

#include <cstdint>

struct xcb_connection_t;

namespace tessarin::x11 {

void setFloatingPanelHints(xcb_connection_t* connection, uint32_t window);

// Maps `window` again on top of the stack, with its hints, after a capture
// withdrew it behind the toolkit's back: the toolkit still counts it as
// shown, so nothing of its own state needs redoing, and no round trip is made.
void remapAbove(xcb_connection_t* connection, uint32_t window);

}  // namespace tessarin::x11
