#pragma once
// What a window pick needs to know on X11 beyond the window list: each
// window's kind (_NET_WM_WINDOW_TYPE) and whether it is hidden
// (_NET_WM_STATE_HIDDEN, which window managers set on minimised windows
// they keep mapped).

#include <string>
#include <vector>

#include "platform/WindowPick.h"
#include "platform/x11/X11ScreenBackend.h"

namespace tessarin::x11 {

// The kind a _NET_WM_WINDOW_TYPE list names: the first type this knows, in
// the client's order of preference; normal when it names none.
WindowKind windowKindFromTypeNames(const std::vector<std::string>& typeNames);
// Whether a _NET_WM_STATE list holds _NET_WM_STATE_HIDDEN.
bool isHiddenFromStateNames(const std::vector<std::string>& stateNames);

// The back end's window list, topmost first, with kinds and states.
class X11PickableWindows final : public PickableWindowSource {
public:
    explicit X11PickableWindows(X11ScreenBackend& backend);
    Expected<std::vector<PickableWindow>, CaptureError> pickableWindows() override;

private:
    X11ScreenBackend& backend_;
    xcb_atom_t windowType_ = XCB_ATOM_NONE;
    xcb_atom_t windowState_ = XCB_ATOM_NONE;
};

}  // namespace tessarin::x11
