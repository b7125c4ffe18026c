#pragma once
// Repeated grabs of one area of the root window on a connection of its own,
// through MIT-SHM into one reused segment. Shared by the scrolling region
// stream and the screen recorder, which both grab the same area many times
// a second and never wait behind another connection's requests.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/screen/CaptureError.h"
#include "platform/x11/PixelConversion.h"

namespace tessarin::x11 {

class X11Connection;
class SharedMemorySegment;

class ShmAreaGrabber {
public:
    // `area` in root pixels. Fails when the display cannot be reached, has no
    // MIT-SHM, or the area is empty or beyond the protocol's 16-bit sizes.
    static Expected<std::unique_ptr<ShmAreaGrabber>, CaptureError> open(const std::string& displayName, PixelRect area);
    ~ShmAreaGrabber();

    // Grabs the area into pixels(); an error when the server no longer answers.
    std::optional<CaptureError> grab();
    const uint8_t* pixels() const;
    uint64_t stride() const { return stride_; }
    uint64_t byteCount() const { return stride_ * static_cast<uint64_t>(area_.height); }
    const PixelFormat& format() const { return format_; }
    const PixelRect& area() const { return area_; }
    X11Connection& connection() { return *connection_; }

private:
    ShmAreaGrabber() = default;

    PixelRect area_;
    std::unique_ptr<X11Connection> connection_;
    std::unique_ptr<SharedMemorySegment> segment_;
    PixelFormat format_;
    uint64_t stride_ = 0;
};

}  // namespace tessarin::x11
