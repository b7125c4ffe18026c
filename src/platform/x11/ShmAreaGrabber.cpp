#include "platform/x11/ShmAreaGrabber.h"

#include <xcb/shm.h>

#include "platform/x11/SharedMemory.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Pixels.h"

namespace tessarin::x11 {

Expected<std::unique_ptr<ShmAreaGrabber>, CaptureError> ShmAreaGrabber::open(const std::string& displayName,
                                                                             PixelRect area) {
    std::unique_ptr<ShmAreaGrabber> grabber(new ShmAreaGrabber());
    grabber->area_ = area;
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(CaptureError::captureFailed(connection.error()));
    grabber->connection_ = std::move(connection.value());
    const xcb_screen_t& screen = grabber->connection_->screen();
    auto format = X11PixelReader(*grabber->connection_, {}).formatFor(screen.root_depth, screen.root_visual);
    if (!format) return unexpected(format.error());
    grabber->format_ = *format;
    if (area.isEmpty() || area.width > 0x7fff || area.height > 0x7fff) {
        return unexpected(CaptureError::captureFailed("cannot stream an area of " + std::to_string(area.width) + "x" +
                                                      std::to_string(area.height) + " pixels"));
    }
    grabber->stride_ = zpixmapStride(static_cast<uint32_t>(area.width), grabber->format_);
    if (!grabber->connection_->extensions().shm) {
        return unexpected(CaptureError::captureFailed("X display " + displayName +
                                                      " offers no shared memory (MIT-SHM), which streaming needs"));
    }
    auto segment = SharedMemorySegment::create(grabber->connection_->raw(), grabber->byteCount(),
                                               SharedMemoryCalls::system());
    if (!segment) return unexpected(CaptureError::captureFailed(segment.error()));
    grabber->segment_ = std::make_unique<SharedMemorySegment>(std::move(segment.value()));
    return grabber;
}

// The segment is detached before its connection closes.
ShmAreaGrabber::~ShmAreaGrabber() { segment_.reset(); }

const uint8_t* ShmAreaGrabber::pixels() const { return segment_->data(); }

std::optional<CaptureError> ShmAreaGrabber::grab() {
    xcb_connection_t* c = connection_->raw();
    auto reply = waitReply(xcb_shm_get_image_reply, c,
                           xcb_shm_get_image(c, connection_->root(), static_cast<int16_t>(area_.x),
                                             static_cast<int16_t>(area_.y), static_cast<uint16_t>(area_.width),
                                             static_cast<uint16_t>(area_.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                             segment_->serverID(), 0));
    if (!reply || reply->size < byteCount()) {
        if (connection_->isBroken()) return CaptureError::captureFailed(connection_->brokenMessage());
        return CaptureError::captureFailed("the X server stopped delivering the grabbed area");
    }
    return std::nullopt;
}

}  // namespace tessarin::x11
