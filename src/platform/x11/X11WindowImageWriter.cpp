#include "platform/x11/X11WindowImageWriter.h"

#include <xcb/shm.h>

#include <algorithm>

#include "platform/x11/XcbDeadline.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {
namespace {

// Whether the server lays out `depth` pixels the way our buffers do: 32 bits
// each, least significant byte first, rows padded to 32 bits.
bool storesLikeOurBuffers(xcb_connection_t* connection, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    }
    return false;
}

}  // namespace

Expected<std::unique_ptr<X11WindowImageWriter>, std::string> X11WindowImageWriter::open(const std::string& displayName,
                                                                                      size_t bufferBytes,
                                                                                      bool useSharedMemory) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(connection.error());
    const bool shm = useSharedMemory && (*connection)->extensions().shm;
    return std::unique_ptr<X11WindowImageWriter>(
        new X11WindowImageWriter(std::move(*connection), std::max<size_t>(bufferBytes, 4), shm));
}

X11WindowImageWriter::X11WindowImageWriter(std::unique_ptr<X11Connection> connection, size_t bufferBytes,
                                           bool useSharedMemory)
    : connection_(std::move(connection)), bufferBytes_(bufferBytes), useSharedMemory_(useSharedMemory) {}

X11WindowImageWriter::~X11WindowImageWriter() {
    for (const auto& [depth, context] : contexts_) xcb_free_gc(connection_->raw(), context);
    releaseBuffers();
    xcb_flush(connection_->raw());
}

int64_t X11WindowImageWriter::rowsPerBand(int64_t width) const {
    if (width <= 0) return 1;
    return std::max<int64_t>(1, static_cast<int64_t>(bufferBytes_) / (width * 4));
}

uint8_t* X11WindowImageWriter::nextBand(int64_t width) {
    if (width <= 0 || width * 4 > static_cast<int64_t>(bufferBytes_)) return nullptr;
    current_ = (current_ + 1) % 2;
    Band& band = bands_[current_];
    if (band.pending) {
        // One round trip covers every earlier put, the other band's too.
        syncWithin(connection_->raw());
        for (Band& b : bands_) b.pending = false;
    }
    currentWidth_ = width;
    if (!useSharedMemory_) {
        band.bytes.resize(bufferBytes_);
        return band.bytes.data();
    }
    if (!band.segment) {
        auto segment = SharedMemorySegment::create(connection_->raw(), bufferBytes_, SharedMemoryCalls::system());
        if (!segment) {
            // The socket still works: slower, never wrong.
            useSharedMemory_ = false;
            return nextBand(width);
        }
        band.segment.emplace(std::move(*segment));
    }
    return band.segment->data();
}

std::optional<uint8_t> X11WindowImageWriter::depthOf(uint32_t window) {
    if (const auto known = depths_.find(window); known != depths_.end()) return known->second;
    xcb_connection_t* c = connection_->raw();
    const auto geometry = waitReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, window));
    if (!geometry) return std::nullopt;
    depths_[window] = geometry->depth;
    return geometry->depth;
}

std::optional<uint32_t> X11WindowImageWriter::contextFor(uint32_t window, uint8_t depth) {
    if (const auto known = contexts_.find(depth); known != contexts_.end()) return known->second;
    xcb_connection_t* c = connection_->raw();
    // A context serves every drawable of its depth on the screen, not only
    // the window it was made for.
    const uint32_t context = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    if (checkRequest(c, xcb_create_gc_checked(c, context, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures)) != 0) {
        return std::nullopt;
    }
    contexts_[depth] = context;
    return context;
}

std::optional<std::string> X11WindowImageWriter::put(uint32_t window, int64_t x, int64_t y, int64_t width,
                                                      int64_t rows) {
    if (width != currentWidth_ || rows < 1 || rows > rowsPerBand(width)) {
        return (std::string("a band of ") + std::to_string(width) + "x" + std::to_string(rows) +
                          " pixels does not fit the buffer it was composed in");
    }
    const auto depth = depthOf(window);
    if (!depth) return "window " + std::to_string(window) + " does not exist";
    if (*depth != 24 && *depth != 32) {
        return ("window " + std::to_string(window) + " has depth " + std::to_string(*depth) +
                          "; only 24 and 32 are written");
    }
    if (!storesLikeOurBuffers(connection_->raw(), *depth)) {
        return ("the X server stores depth " + std::to_string(*depth) +
                          " pixels in a layout other than 32-bit little-endian");
    }
    const auto context = contextFor(window, *depth);
    if (!context) return "no graphics context for window " + std::to_string(window);
    Band& band = bands_[current_];
    if (!useSharedMemory_ || !band.segment) {
        return putThroughSocket(window, *context, *depth, x, y, width, rows, band.bytes.data());
    }
    xcb_shm_put_image(connection_->raw(), window, *context, static_cast<uint16_t>(width), static_cast<uint16_t>(rows),
                      0, 0, static_cast<uint16_t>(width), static_cast<uint16_t>(rows), static_cast<int16_t>(x),
                      static_cast<int16_t>(y), *depth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, band.segment->serverID(), 0);
    band.pending = true;
    return std::nullopt;
}

std::optional<std::string> X11WindowImageWriter::putThroughSocket(uint32_t window, uint32_t context, uint8_t depth,
                                                                   int64_t x, int64_t y, int64_t width, int64_t rows,
                                                                   const uint8_t* pixels) {
    xcb_connection_t* c = connection_->raw();
    const int64_t rowBytes = width * 4;
    // The request's own header takes a little of the largest size.
    const int64_t rowsPerRequest =
        std::max<int64_t>(1, (static_cast<int64_t>(connection_->maximumRequestBytes()) - 64) / rowBytes);
    for (int64_t done = 0; done < rows;) {
        const int64_t count = std::min(rowsPerRequest, rows - done);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, context, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(count), static_cast<int16_t>(x), static_cast<int16_t>(y + done), 0, depth,
                      static_cast<uint32_t>(count * rowBytes), pixels + done * rowBytes);
        done += count;
    }
    if (connection_->isBroken()) return connection_->brokenMessage();
    return std::nullopt;
}

void X11WindowImageWriter::flush() { xcb_flush(connection_->raw()); }

void X11WindowImageWriter::releaseBuffers() {
    for (Band& band : bands_) {
        band.segment.reset();
        band.bytes = {};
        band.pending = false;
    }
    depths_.clear();
}

}  // namespace tessarin::x11
