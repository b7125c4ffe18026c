#pragma once
// What a screen-cast frame becomes before readers see it, apart from any
// PipeWire connection: the pixel layouts we accept, the part of a buffer
// that holds the wanted area, the copy into our B, G, R, A order, and the
// pointer drawn in from cursor metadata. Pure functions over plain bytes,
// so they are tested without a session.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/common/Geometry.h"
#include "core/screen/RegionFrame.h"

namespace tessarin::portal {

// Byte order of a 32-bit pixel in memory.
enum class CastPixelOrder { bgra, rgba };

// The layout for a PipeWire raw video format (spa_video_format), or none
// when it is one we do not read.
std::optional<CastPixelOrder> castPixelOrderOf(uint32_t spaVideoFormat);
// The formats offered to the stream, most preferred first.
std::vector<uint32_t> offeredCastFormats();

// One received buffer, as mapped memory.
struct CastBuffer {
    const uint8_t* bytes = nullptr;
    size_t size = 0;        // bytes readable from `bytes`
    int64_t width = 0;      // the negotiated frame size
    int64_t height = 0;
    int64_t stride = 0;     // bytes per row
    CastPixelOrder order = CastPixelOrder::bgra;
    std::optional<PixelRect> videoCrop;  // the valid picture inside the buffer, when the sender says
};

// The valid picture inside the buffer: the sender's crop cut to the buffer;
// the whole buffer without a crop, or with one that lies wholly outside.
PixelRect castPictureRect(const CastBuffer& buffer);

// The rectangle of the buffer to read for `area` (pixels of the shared
// picture), clipped to the picture and the buffer; empty when nothing of
// the area is inside.
PixelRect castSourceRect(const CastBuffer& buffer, PixelRect area);

// Copies `area` of the buffer into `frame` (already sized to the area),
// turning the pixels into B, G, R, A order; what lies outside the picture
// stays opaque black. False when the buffer is too small for what it
// claims (nothing is read past its end).
bool copyCastArea(const CastBuffer& buffer, PixelRect area, RegionFrame& frame);

// The pointer as the sender describes it in metadata: an image with its
// hot spot, at a position in the shared picture's pixels.
struct CastCursorImage {
    int64_t width = 0;
    int64_t height = 0;
    int64_t hotspotX = 0;
    int64_t hotspotY = 0;
    std::vector<uint8_t> bgra;  // width * height pixels, straight alpha
};

// The cursor image from metadata bitmap bytes in `order` with `stride`;
// none when the sizes do not fit the bytes.
std::optional<CastCursorImage> castCursorImage(const uint8_t* bytes, size_t size, int64_t width, int64_t height,
                                               int64_t stride, CastPixelOrder order, int64_t hotspotX,
                                               int64_t hotspotY);

// Draws the cursor whose hot spot is at `position` (picture pixels) over
// `frame`, which shows the picture's `area`.
void drawCastCursor(const CastCursorImage& cursor, Point position, PixelRect area, RegionFrame& frame);

// Which cursor mode to ask the portal for (its bit values), from the
// modes it offers and whether the pointer should be in the frames.
struct CastCursorChoice {
    uint32_t mode = 0;       // 0: leave the portal's default
    bool drawsFromMetadata = false;
    friend bool operator==(const CastCursorChoice&, const CastCursorChoice&) = default;
};
inline constexpr uint32_t kCastCursorHidden = 1;
inline constexpr uint32_t kCastCursorEmbedded = 2;
inline constexpr uint32_t kCastCursorMetadata = 4;
CastCursorChoice chooseCastCursorMode(uint32_t availableModes, bool showsCursor);

}  // namespace tessarin::portal
