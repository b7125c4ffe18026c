#pragma once
// Reading pixels of a drawable (the root window, or a window's composite
// pixmap) into an RGBA Image: through MIT-SHM when the server shares memory
// with us, otherwise with plain GetImage requests. Both read in strips: SHM
// ones through a small reused segment, GetImage ones within the server's
// maximum request length.

#include <cstdint>
#include <mutex>
#include <optional>

#include <xcb/xcb.h>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "core/common/Image.h"
#include "core/screen/CaptureError.h"
#include "platform/x11/PixelConversion.h"
#include "platform/x11/SharedMemory.h"

namespace tessarin::x11 {

class X11Connection;

struct PixelReaderOptions {
    // Off to force GetImage (remote servers cannot use SHM anyway).
    bool useSharedMemory = true;
    // Caps the bytes of one GetImage strip below the server's maximum
    // request length; 0 for no cap. Lets tests force many strips.
    uint64_t maximumStripBytes = 0;
    // Bytes of one strip read through shared memory. Strips of a few hundred
    // KiB stay in the cache between the server's write and our conversion.
    uint64_t sharedStripBytes = uint64_t{256} << 10;
    const SharedMemoryCalls* sharedMemoryCalls = &SharedMemoryCalls::system();
};

class X11PixelReader {
public:
    X11PixelReader(const X11Connection& connection, PixelReaderOptions options);

    // The format of a drawable of `depth` shown with `visual`, or why the
    // server has none we can read.
    Expected<PixelFormat, CaptureError> formatFor(uint8_t depth, xcb_visualid_t visual) const;

    // The pixels of `area` of `drawable`; the area must lie inside it.
    Expected<Image, CaptureError> read(xcb_drawable_t drawable, PixelRect area, const PixelFormat& format);

    // Whether the last reads went through shared memory (for diagnostics
    // and tests).
    bool usingSharedMemory() const;

private:
    std::optional<Image> readShared(xcb_drawable_t drawable, PixelRect area, const PixelFormat& format,
                                    uint64_t stride);
    Expected<Image, CaptureError> readInStrips(xcb_drawable_t drawable, PixelRect area, const PixelFormat& format,
                                               uint64_t stride);
    CaptureError readFailure(xcb_drawable_t drawable, PixelRect area, uint8_t errorCode) const;

    const X11Connection& connection_;
    PixelReaderOptions options_;
    mutable std::mutex mutex_;  // guards the segment and the SHM verdict
    std::optional<SharedMemorySegment> segment_;
    bool sharedMemoryWorks_;
};

}  // namespace tessarin::x11
