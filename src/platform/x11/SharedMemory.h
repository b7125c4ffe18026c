#pragma once
// A System V shared memory segment attached both here and in the X server,
// so the server can write a whole image into it with one MIT-SHM request
// instead of streaming it through the socket.

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

#include <xcb/shm.h>

#include "core/common/Expected.h"

struct shmid_ds;

namespace tessarin::x11 {

// The system calls behind a segment, replaceable so tests can make them fail.
struct SharedMemoryCalls {
    int (*get)(key_t key, size_t size, int flags);
    void* (*attach)(int id, const void* address, int flags);
    int (*detach)(const void* address);
    int (*control)(int id, int command, shmid_ds* buffer);

    static const SharedMemoryCalls& system();
};

class SharedMemorySegment {
public:
    // A segment of `size` bytes attached to the server. The system's segment
    // is marked for removal right after both sides attached, so it disappears
    // with the last detach even if this process dies.
    static Expected<SharedMemorySegment, std::string> create(xcb_connection_t* connection, size_t size,
                                                             const SharedMemoryCalls& calls);

    SharedMemorySegment(SharedMemorySegment&& other) noexcept;
    SharedMemorySegment& operator=(SharedMemorySegment&& other) noexcept;
    ~SharedMemorySegment();

    const uint8_t* data() const { return data_; }
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    xcb_shm_seg_t serverID() const { return serverID_; }

private:
    SharedMemorySegment(xcb_connection_t* connection, const SharedMemoryCalls& calls, uint8_t* data, size_t size,
                        xcb_shm_seg_t serverID)
        : connection_(connection), calls_(&calls), data_(data), size_(size), serverID_(serverID) {}
    void release() noexcept;

    xcb_connection_t* connection_ = nullptr;
    const SharedMemoryCalls* calls_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    xcb_shm_seg_t serverID_ = 0;
};

}  // namespace tessarin::x11
