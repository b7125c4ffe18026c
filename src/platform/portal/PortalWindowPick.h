#pragma once
// One picture of a window the person picks in the ScreenCast portal's own
// chooser: Wayland gives applications no window list, so this is the only
// way to a single window there, where the desktop's portal shares windows.

#include <chrono>
#include <memory>
#include <optional>

#include "core/common/Expected.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "core/screen/RegionFrame.h"
#include "platform/portal/PortalRequest.h"

namespace tessarin::portal {

struct WindowPickTimeouts {
    // The chooser waits for the person, so its answer may take long.
    std::chrono::milliseconds chooser{std::chrono::minutes(5)};
    // The window's first picture once the cast runs.
    std::chrono::milliseconds firstFrame{std::chrono::seconds(5)};
    // Every other portal step, which no person holds up: a portal stuck
    // there must not keep the pick (and every capture after it) waiting
    // as long as the chooser may.
    std::chrono::milliseconds portal{std::chrono::seconds(10)};
};

// Lets another thread give up a pick that waits in the portal's chooser
// (the application quits then, and must not wait for the person).
class WindowPickAbandonment {
public:
    WindowPickAbandonment() : cancellable_(g_cancellable_new()) {}
    // Any thread; the pick ends as no pick, its chooser closed.
    void abandon() { g_cancellable_cancel(cancellable_.get()); }
    bool abandoned() const { return g_cancellable_is_cancelled(cancellable_.get()); }
    GCancellable* cancellable() const { return cancellable_.get(); }

private:
    GObjectPtr<GCancellable> cancellable_;
};

// The picked window's pixels; nothing when the person closed the chooser
// or the pick was abandoned. A refusal is the permission error; a portal
// that shares no windows, or none at all, says so.
Expected<std::optional<Image>, CaptureError> pickWindowThroughPortal(
    std::shared_ptr<PortalConnection> connection, WindowPickTimeouts timeouts = {},
    std::shared_ptr<const WindowPickAbandonment> abandonment = nullptr);

// What a portal failure means for a pick: the person's cancel is no pick,
// not an error.
Expected<std::optional<Image>, CaptureError> windowPickFailure(const PortalError& error);

// A cast frame (B, G, R, X) as an opaque RGBA image; none when it cannot be had.
std::optional<Image> opaqueImageOfFrame(const RegionFrame& frame);

}  // namespace tessarin::portal
