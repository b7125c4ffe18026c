#include "platform/x11/SharedMemory.h"

#include <cerrno>
#include <utility>

#include <sys/ipc.h>
#include <sys/shm.h>

#include "core/common/PosixFiles.h"
#include "platform/x11/XcbHandles.h"

namespace tessarin::x11 {

const SharedMemoryCalls& SharedMemoryCalls::system() {
    static const SharedMemoryCalls calls{::shmget, ::shmat, ::shmdt, ::shmctl};
    return calls;
}

Expected<SharedMemorySegment, std::string> SharedMemorySegment::create(xcb_connection_t* connection, size_t size,
                                                                       const SharedMemoryCalls& calls) {
    const int id = calls.get(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return unexpected("shmget of " + std::to_string(size) + " bytes failed: " + errnoText(errno));
    void* address = calls.attach(id, nullptr, 0);
    // The name goes at once, before anything can block or a signal can end
    // the process: the memory then lives exactly as long as someone has it
    // attached, and a kill during set-up leaks nothing. Linux lets the
    // server attach a segment whose name is already removed.
    const int attachError = errno;
    calls.control(id, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1)) {
        return unexpected(std::string("shmat failed: ") + errnoText(attachError));
    }
    const xcb_shm_seg_t serverID = xcb_generate_id(connection);
    const uint8_t errorCode =
        checkRequest(connection, xcb_shm_attach_checked(connection, serverID, static_cast<uint32_t>(id), 0));
    if (errorCode != 0 || xcb_connection_has_error(connection) != 0) {
        calls.detach(address);
        // A server on another machine cannot see our memory: BadAccess.
        return unexpected("the X server could not attach shared memory (X error " + std::to_string(errorCode) + ")");
    }
    return SharedMemorySegment(connection, calls, static_cast<uint8_t*>(address), size, serverID);
}

SharedMemorySegment::SharedMemorySegment(SharedMemorySegment&& other) noexcept
    : connection_(other.connection_),
      calls_(other.calls_),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      serverID_(std::exchange(other.serverID_, 0)) {}

SharedMemorySegment& SharedMemorySegment::operator=(SharedMemorySegment&& other) noexcept {
    if (this != &other) {
        release();
        connection_ = other.connection_;
        calls_ = other.calls_;
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        serverID_ = std::exchange(other.serverID_, 0);
    }
    return *this;
}

SharedMemorySegment::~SharedMemorySegment() { release(); }

void SharedMemorySegment::release() noexcept {
    if (data_ == nullptr) return;
    // Unchecked: the server drops the segment by itself when the connection
    // is gone, and there is nobody to tell about a failed detach.
    xcb_shm_detach(connection_, serverID_);
    xcb_flush(connection_);
    calls_->detach(data_);
    data_ = nullptr;
}

}  // namespace tessarin::x11
