#pragma once
// Writes pixel rows composed on the client straight into a window. A window
// that only ever shows a picture (the frozen screen under the selection
// overlay) then needs no full-size copy of itself in a backing store: it is
// composed a band of rows at a time into a small buffer, and each band goes
// to the server as it is done.
//
// The buffers are two shared memory segments used in turn, so one can be
// filled while the server still reads the other; without MIT-SHM (a remote
// server) the rows travel through the socket in request-sized pieces.
// Pixels are 32 bits, B G R and X (or premultiplied alpha) in memory.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "platform/x11/SharedMemory.h"
#include "platform/x11/X11Connection.h"

namespace tessarin::x11 {

class X11WindowImageWriter {
public:
    // Bytes of one band buffer.
    static constexpr size_t kDefaultBufferBytes = size_t{512} << 10;

    static Expected<std::unique_ptr<X11WindowImageWriter>, std::string> open(
        const std::string& displayName, size_t bufferBytes = kDefaultBufferBytes, bool useSharedMemory = true);
    ~X11WindowImageWriter();
    X11WindowImageWriter(const X11WindowImageWriter&) = delete;
    X11WindowImageWriter& operator=(const X11WindowImageWriter&) = delete;

    // How many rows `width` pixels wide one band holds (at least one).
    int64_t rowsPerBand(int64_t width) const;
    // The buffer to compose the next band in, `width` * 4 bytes a row; free
    // to write until the next put(). Null when no buffer can be had.
    uint8_t* nextBand(int64_t width);
    // Sends the band's first `rows` rows to (x, y) of `window`, whose depth
    // is 24 or 32. Returns why nothing was written, or nothing.
    std::optional<std::string> put(uint32_t window, int64_t x, int64_t y, int64_t width, int64_t rows);
    // Sends what is queued.
    void flush();
    // Frees the band buffers until the next band is asked for.
    void releaseBuffers();

    bool usesSharedMemory() const { return useSharedMemory_; }

private:
    explicit X11WindowImageWriter(std::unique_ptr<X11Connection> connection, size_t bufferBytes, bool useSharedMemory);

    struct Band {
        std::optional<SharedMemorySegment> segment;
        std::vector<uint8_t> bytes;  // without shared memory
        bool pending = false;        // the server may still be reading it
    };
    std::optional<uint8_t> depthOf(uint32_t window);
    std::optional<uint32_t> contextFor(uint32_t window, uint8_t depth);
    std::optional<std::string> putThroughSocket(uint32_t window, uint32_t context, uint8_t depth, int64_t x, int64_t y,
                                                 int64_t width, int64_t rows, const uint8_t* pixels);

    std::unique_ptr<X11Connection> connection_;
    size_t bufferBytes_;
    bool useSharedMemory_;
    Band bands_[2];
    size_t current_ = 0;
    int64_t currentWidth_ = 0;
    std::map<uint32_t, uint8_t> depths_;     // by window
    std::map<uint8_t, uint32_t> contexts_;  // graphics contexts by depth
};

}  // namespace tessarin::x11
