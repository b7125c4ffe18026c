#include "platform/x11/X11Pixels.h"

#include <algorithm>
#include <limits>
#include <string>

#include "core/common/Log.h"
#include "core/common/PixelRows.h"
#include "platform/x11/PixelRects.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

namespace {

// Room for the GetImage request and reply headers below the request limit.
constexpr uint64_t kRequestHeaderBytes = 64;

// Copies `rows` rows of BGRX source rows into `image` from row `firstRow` on.
void convertRows(const uint8_t* source, uint64_t stride, Image& image, uint32_t firstRow, uint32_t rows) {
    for (uint32_t row = 0; row < rows; ++row) {
        bgrxRowToOpaqueRgba(source + stride * row, image.row(firstRow + row), image.width());
    }
}

}  // namespace

X11PixelReader::X11PixelReader(const X11Connection& connection, PixelReaderOptions options)
    : connection_(connection),
      options_(options),
      sharedMemoryWorks_(options.useSharedMemory && connection.extensions().shm) {}

bool X11PixelReader::usingSharedMemory() const {
    std::lock_guard lock(mutex_);
    return sharedMemoryWorks_;
}

Expected<PixelFormat, CaptureError> X11PixelReader::formatFor(uint8_t depth, xcb_visualid_t visual) const {
    const xcb_setup_t* setup = xcb_get_setup(connection_.raw());
    PixelFormat format;
    format.depth = depth;
    format.leastSignificantByteFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    bool depthKnown = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
        if (it.data->depth == depth) {
            format.bitsPerPixel = it.data->bits_per_pixel;
            format.scanlinePad = it.data->scanline_pad;
            depthKnown = true;
        }
    }
    bool visualKnown = false;
    for (auto d = xcb_screen_allowed_depths_iterator(&connection_.screen()); d.rem > 0 && !visualKnown;
         xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == visual) {
                format.redMask = v.data->red_mask;
                format.greenMask = v.data->green_mask;
                format.blueMask = v.data->blue_mask;
                visualKnown = true;
                break;
            }
        }
    }
    if (!depthKnown || !visualKnown) {
        return unexpected(CaptureError::captureFailed("the X server lists no pixel format for depth " +
                                                      std::to_string(depth)));
    }
    if (auto reason = unsupportedFormatReason(format)) return unexpected(CaptureError::captureFailed(*reason));
    return format;
}

Expected<Image, CaptureError> X11PixelReader::read(xcb_drawable_t drawable, PixelRect area,
                                                   const PixelFormat& format) {
    constexpr int64_t coordinateMin = std::numeric_limits<int16_t>::min();
    constexpr int64_t coordinateMax = std::numeric_limits<int16_t>::max();
    constexpr int64_t sizeMax = std::numeric_limits<uint16_t>::max();
    if (area.isEmpty()) return unexpected(CaptureError::captureFailed("cannot capture an empty area"));
    if (area.x < coordinateMin || area.x > coordinateMax || area.y < coordinateMin || area.y > coordinateMax ||
        area.width > sizeMax || area.height > sizeMax) {
        return unexpected(CaptureError::captureFailed("area " + describeArea(area) + " is beyond X11 coordinates"));
    }
    const uint64_t stride = zpixmapStride(static_cast<uint32_t>(area.width), format);
    if (std::lock_guard lock(mutex_); sharedMemoryWorks_) {
        if (auto image = readShared(drawable, area, format, stride)) return std::move(*image);
    }
    return readInStrips(drawable, area, format, stride);
}

std::optional<Image> X11PixelReader::readShared(xcb_drawable_t drawable, PixelRect area, const PixelFormat& format,
                                                uint64_t stride) {
    const auto width = static_cast<uint32_t>(area.width);
    const auto height = static_cast<uint32_t>(area.height);
    // Too large: the strip reader reports the size.
    if (uint64_t{width} * height > Image::kMaxPixels) return std::nullopt;
    // The segment holds two strips: the server fills one while the other is
    // converted. Keeping it small means the server and we each touch only a
    // few fresh pages, where a segment the size of the whole area would cost
    // a page fault per 4 KiB on both sides.
    const auto rowsPerStrip =
        static_cast<uint32_t>(std::clamp<uint64_t>(options_.sharedStripBytes / stride, 1, height));
    const uint64_t slotBytes = stride * rowsPerStrip;  // below 2^18 * 2^16: no overflow
    const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const uint64_t segmentBytes = slotBytes * std::min<uint32_t>(strips, 2);
    xcb_connection_t* c = connection_.raw();
    if (!segment_ || segment_->size() < segmentBytes) {
        segment_.reset();
        auto segment = SharedMemorySegment::create(c, std::max(segmentBytes, options_.sharedStripBytes * 2),
                                                   *options_.sharedMemoryCalls);
        if (!segment) {
            // Remote servers and exhausted SHM limits: GetImage still works,
            // so stop trying shared memory on this connection.
            sharedMemoryWorks_ = false;
            logLine(LogLevel::info, LogCategory::capture,
                    "x11.shm disabled reason=\"" + segment.error() + "\"");
            return std::nullopt;
        }
        segment_.emplace(std::move(segment.value()));
    }
    auto rowsOf = [&](uint32_t strip) { return std::min(rowsPerStrip, height - strip * rowsPerStrip); };
    auto request = [&](uint32_t strip) {
        return xcb_shm_get_image(c, drawable, static_cast<int16_t>(area.x),
                                 static_cast<int16_t>(area.y + int64_t{strip} * rowsPerStrip),
                                 static_cast<uint16_t>(area.width), static_cast<uint16_t>(rowsOf(strip)), ~0u,
                                 XCB_IMAGE_FORMAT_Z_PIXMAP, segment_->serverID(),
                                 static_cast<uint32_t>((strip % 2) * slotBytes));
    };
    // Strip k goes to slot k % 2; strip k + 2 is asked for only once strip k
    // has been converted, so the server never writes a slot still being read.
    xcb_shm_get_image_cookie_t pending[2] = {request(0), {}};
    if (strips > 1) pending[1] = request(1);
    auto discardFrom = [&](uint32_t strip) {
        for (uint32_t later = strip; later < std::min(strips, strip + 2); ++later) {
            xcb_discard_reply(c, pending[later % 2].sequence);
        }
    };
    // The server copies the first strips while the image's pages are mapped.
    xcb_flush(c);
    auto image = Image::allocate(width, height);
    if (!image) {
        discardFrom(0);
        return std::nullopt;
    }
    for (uint32_t strip = 0; strip < strips; ++strip) {
        const uint32_t rows = rowsOf(strip);
        auto reply = waitReply(xcb_shm_get_image_reply, c, pending[strip % 2]);
        // A failed read (area outside the drawable, window gone) is reported
        // by the GetImage path, which tells the reasons apart.
        if (!reply || reply->depth != format.depth || reply->size < stride * rows) {
            discardFrom(strip + 1);
            return std::nullopt;
        }
        convertRows(segment_->data() + (strip % 2) * slotBytes, stride, *image, strip * rowsPerStrip, rows);
        if (strip + 2 < strips) pending[strip % 2] = request(strip + 2);
    }
    return image;
}

Expected<Image, CaptureError> X11PixelReader::readInStrips(xcb_drawable_t drawable, PixelRect area,
                                                           const PixelFormat& format, uint64_t stride) {
    auto image = Image::allocate(static_cast<uint32_t>(area.width), static_cast<uint32_t>(area.height));
    if (!image) {
        return unexpected(CaptureError::captureFailed("an image of " + std::to_string(area.width) + "x" +
                                                      std::to_string(area.height) + " pixels is too large"));
    }
    uint64_t stripBytes = connection_.maximumRequestBytes();
    stripBytes = stripBytes > kRequestHeaderBytes ? stripBytes - kRequestHeaderBytes : 0;
    if (options_.maximumStripBytes != 0) stripBytes = std::min(stripBytes, options_.maximumStripBytes);
    const uint32_t rowsPerStrip =
        static_cast<uint32_t>(std::clamp<uint64_t>(stripBytes / stride, 1, image->height()));

    xcb_connection_t* c = connection_.raw();
    auto request = [&](uint32_t firstRow) {
        const uint32_t rows = std::min(rowsPerStrip, image->height() - firstRow);
        return xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<int16_t>(area.x),
                             static_cast<int16_t>(area.y + firstRow), static_cast<uint16_t>(area.width),
                             static_cast<uint16_t>(rows), ~0u);
    };
    // One request ahead, so the server works on the next strip while this
    // one is converted.
    xcb_get_image_cookie_t next = request(0);
    for (uint32_t firstRow = 0; firstRow < image->height(); firstRow += rowsPerStrip) {
        const xcb_get_image_cookie_t current = next;
        const uint32_t rows = std::min(rowsPerStrip, image->height() - firstRow);
        if (firstRow + rows < image->height()) next = request(firstRow + rows);
        uint8_t errorCode = 0;
        auto reply = waitReply(xcb_get_image_reply, c, current, &errorCode);
        if (!reply) {
            // Collect the reply already asked for, so it does not linger.
            if (firstRow + rows < image->height()) waitReply(xcb_get_image_reply, c, next);
            return unexpected(readFailure(drawable, area, errorCode));
        }
        const uint64_t length = static_cast<uint64_t>(xcb_get_image_data_length(reply.get()));
        if (reply->depth != format.depth || length < stride * rows) {
            if (firstRow + rows < image->height()) waitReply(xcb_get_image_reply, c, next);
            return unexpected(CaptureError::captureFailed("the X server returned an image of unexpected size or depth"));
        }
        convertRows(xcb_get_image_data(reply.get()), stride, *image, firstRow, rows);
    }
    return std::move(*image);
}

CaptureError X11PixelReader::readFailure(xcb_drawable_t drawable, PixelRect area, uint8_t errorCode) const {
    if (connection_.isBroken()) return CaptureError::captureFailed(connection_.brokenMessage());
    switch (errorCode) {
        case XCB_MATCH:
            return CaptureError::captureFailed("area " + describeArea(area) + " is not inside the captured window");
        case XCB_DRAWABLE:
        case XCB_WINDOW:
        case XCB_PIXMAP:
            return CaptureError::captureFailed("X drawable " + std::to_string(drawable) + " no longer exists");
        default:
            return CaptureError::captureFailed("the X server refused to read pixels of " + describeArea(area) +
                                               " (X error " + std::to_string(errorCode) + ")");
    }
}

}  // namespace tessarin::x11
