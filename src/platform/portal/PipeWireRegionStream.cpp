#include "platform/portal/PipeWireRegionStream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/utils/result.h>

#include <unistd.h>

#include <cmath>
#include <mutex>
#include <utility>

#include "core/common/Log.h"
#include "platform/portal/PipeWireParams.h"

namespace tessarin::portal {

namespace {

void initialisePipeWireOnce() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

template <class T>
const T* metaData(const spa_buffer& buffer, uint32_t type) {
    return static_cast<const T*>(spa_buffer_find_meta_data(&buffer, type, sizeof(T)));
}

}  // namespace

// The C callback tables, pointing back at the stream.
struct PipeWireRegionStream::Hooks {
    pw_stream_events streamEvents{};
    pw_core_events coreEvents{};
    pw_registry_events registryEvents{};
    spa_hook streamListener{};
    spa_hook coreListener{};
    spa_hook registryListener{};
};

PipeWireRegionStream::PipeWireRegionStream(PipeWireStreamRequest request, std::shared_ptr<void> session)
    : request_(request),
      session_(std::move(session)),
      frames_(request.area.width, request.area.height, static_cast<size_t>(request.area.width) * 4) {}

PipeWireRegionStream::~PipeWireRegionStream() {
    stop();
    if (request_.remoteFd >= 0) ::close(request_.remoteFd);
}

std::optional<CaptureError> PipeWireRegionStream::start() {
    if (loop_) return std::nullopt;
    if (!request_.wholePicture && request_.area.isEmpty()) {
        return CaptureError::captureFailed("the screen cast area is empty");
    }
    if (request_.remoteFd < 0) return CaptureError::captureFailed("no PipeWire remote for the screen cast");
    initialisePipeWireOnce();
    loop_ = pw_thread_loop_new("tessarin-cast", nullptr);
    if (!loop_) return CaptureError::captureFailed("cannot create a PipeWire loop");
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) {
        closeLoop();
        return CaptureError::captureFailed("cannot start a PipeWire loop");
    }
    hooks_ = std::make_unique<Hooks>();
    hooks_->coreEvents.version = PW_VERSION_CORE_EVENTS;
    hooks_->coreEvents.error = [](void* self, uint32_t id, int, int result, const char* message) {
        static_cast<PipeWireRegionStream*>(self)->onCoreError(id, result, message);
    };
    hooks_->registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    hooks_->registryEvents.global_remove = [](void* self, uint32_t id) {
        static_cast<PipeWireRegionStream*>(self)->onGlobalRemoved(id);
    };
    hooks_->streamEvents.version = PW_VERSION_STREAM_EVENTS;
    hooks_->streamEvents.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char* error) {
        static_cast<PipeWireRegionStream*>(self)->onStateChanged(state, error);
    };
    hooks_->streamEvents.param_changed = [](void* self, uint32_t id, const spa_pod* param) {
        if (id == SPA_PARAM_Format) static_cast<PipeWireRegionStream*>(self)->onFormatChanged(param);
    };
    hooks_->streamEvents.process = [](void* self) { static_cast<PipeWireRegionStream*>(self)->onProcess(); };

    pw_thread_loop_lock(loop_);
    // The core owns the descriptor from here, even when connecting fails.
    const int fd = std::exchange(request_.remoteFd, -1);
    core_ = pw_context_connect_fd(context_, fd, nullptr, 0);
    std::optional<CaptureError> error;
    if (!core_) {
        error = CaptureError::captureFailed("cannot connect to the screen cast's PipeWire remote");
    } else {
        // PipeWire's listener macro casts in C style.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
        pw_core_add_listener(core_, &hooks_->coreListener, &hooks_->coreEvents, this);
        // A stream whose node is removed only pauses: the registry says the cast ended.
        registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
        if (registry_) pw_registry_add_listener(registry_, &hooks_->registryListener, &hooks_->registryEvents, this);
#pragma GCC diagnostic pop
        stream_ = pw_stream_new(core_, "tessarin-region",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (!stream_) error = CaptureError::captureFailed("cannot create a PipeWire stream");
    }
    if (!error) {
        pw_stream_add_listener(stream_, &hooks_->streamListener, &hooks_->streamEvents, this);
        PodBuffer pod;
        const spa_pod* params[] = {castFormatParam(pod, request_.framesPerSecond)};
        const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
        if (pw_stream_connect(stream_, PW_DIRECTION_INPUT, request_.nodeID, flags, params, 1) < 0) {
            error = CaptureError::captureFailed("cannot connect to the screen cast's PipeWire node");
        }
    }
    pw_thread_loop_unlock(loop_);
    if (error) closeLoop();
    return error;
}

void PipeWireRegionStream::stop() {
    // First, so that the disconnection below reads as asked for, not as a failure.
    slot_.close();
    closeLoop();
}

void PipeWireRegionStream::closeLoop() {
    if (!loop_) return;
    pw_thread_loop_lock(loop_);
    if (registry_) {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
        registry_ = nullptr;
    }
    if (stream_) {
        pw_stream_disconnect(stream_);
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    if (core_) {
        pw_core_disconnect(core_);
        core_ = nullptr;
    }
    pw_thread_loop_unlock(loop_);
    pw_thread_loop_stop(loop_);
    if (context_) pw_context_destroy(context_);
    context_ = nullptr;
    pw_thread_loop_destroy(loop_);
    loop_ = nullptr;
    hooks_.reset();
    // The portal session goes with the stream.
    session_.reset();
}

LatestRegionFrame PipeWireRegionStream::latest() { return slot_.latest(); }

std::optional<CaptureError> PipeWireRegionStream::stopError() { return slot_.stopError(); }

LatestRegionFrame PipeWireRegionStream::waitForFrameAfter(uint64_t frameID, std::chrono::steady_clock::time_point deadline) {
    return slot_.waitForFrameAfter(frameID, deadline);
}

void PipeWireRegionStream::fail(std::string reason) {
    auto error = CaptureError::captureFailed(std::move(reason));
    const std::string description = error.description();
    if (slot_.fail(std::move(error))) logLine(LogLevel::error, LogCategory::capture, "cast.stream stopped error=" + description);
}

void PipeWireRegionStream::onStateChanged(int state, const char* error) {
    logLine(LogLevel::info, LogCategory::capture,
            std::string("cast.stream state=") + pw_stream_state_as_string(static_cast<pw_stream_state>(state)));
    switch (state) {
        case PW_STREAM_STATE_ERROR:
            fail(std::string("the screen cast stream failed: ") + (error ? error : "unknown error"));
            return;
        case PW_STREAM_STATE_STREAMING: wasStreaming_ = true; return;
        case PW_STREAM_STATE_UNCONNECTED:
            if (wasStreaming_) fail("the screen cast stream ended");
            return;
        default: return;
    }
}

void PipeWireRegionStream::onCoreError(uint32_t id, int result, const char* message) {
    if (id != PW_ID_CORE) return;
    // The remote went away (the portal session closed, PipeWire stopped).
    fail(std::string("the PipeWire connection failed: ") + (message ? message : spa_strerror(result)));
}

void PipeWireRegionStream::onGlobalRemoved(uint32_t id) {
    if (id == request_.nodeID) fail("the screen cast ended");
}

void PipeWireRegionStream::onFormatChanged(const spa_pod* format) {
    if (!format) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(format, &info) < 0) return fail("the screen cast sent an unreadable format");
    const auto order = castPixelOrderOf(info.format);
    if (!order) return fail("the screen cast offers no 32-bit RGB format");
    order_ = *order;
    width_ = info.size.width;
    height_ = info.size.height;
    formatKnown_ = true;
    logLine(LogLevel::info, LogCategory::capture,
            "cast.stream format=" + std::to_string(info.format) + " size=" + std::to_string(width_) + "x" +
                std::to_string(height_));
    PodBuffer pod;
    const spa_pod* params[] = {castBuffersParam(pod), castCropMetaParam(pod), castCursorMetaParam(pod)};
    pw_stream_update_params(stream_, params, 3);
}

void PipeWireRegionStream::onProcess() {
    // Only the newest buffer matters: older queued ones go straight back.
    pw_buffer* newest = nullptr;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream_)) {
        if (newest) pw_stream_queue_buffer(stream_, newest);
        newest = next;
    }
    if (!newest) return;
    receive(*newest);
    pw_stream_queue_buffer(stream_, newest);
}

void PipeWireRegionStream::receive(pw_buffer& received) {
    const spa_buffer& buffer = *received.buffer;
    if (!formatKnown_ || buffer.n_datas < 1) return;
    const spa_data& data = buffer.datas[0];
    if (!data.data || !data.chunk || data.chunk->size == 0 || (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) return;
    if (data.chunk->offset > data.maxsize) return;

    if (const auto* cursor = metaData<spa_meta_cursor>(buffer, SPA_META_Cursor); cursor && spa_meta_cursor_is_valid(cursor)) {
        cursorPosition_ = Point{double(cursor->position.x), double(cursor->position.y)};
        if (cursor->bitmap_offset >= sizeof(spa_meta_cursor)) {
            const auto* bitmap = SPA_PTROFF(cursor, cursor->bitmap_offset, const spa_meta_bitmap);
            const auto order = castPixelOrderOf(bitmap->format);
            const spa_meta* meta = spa_buffer_find_meta(&buffer, SPA_META_Cursor);
            if (bitmap->offset == 0) {
                cursor_.reset();  // an invisible pointer
            } else if (order && meta && bitmap->offset >= sizeof(spa_meta_bitmap) &&
                       cursor->bitmap_offset + bitmap->offset <= meta->size) {
                const size_t available = meta->size - cursor->bitmap_offset - bitmap->offset;
                cursor_ = castCursorImage(SPA_PTROFF(bitmap, bitmap->offset, const uint8_t), available,
                                          bitmap->size.width, bitmap->size.height, bitmap->stride, *order,
                                          cursor->hotspot.x, cursor->hotspot.y);
            }
        }
    }

    CastBuffer cast;
    cast.bytes = static_cast<const uint8_t*>(data.data) + data.chunk->offset;
    cast.size = data.maxsize - data.chunk->offset;
    cast.width = width_;
    cast.height = height_;
    cast.stride = data.chunk->stride > 0 ? data.chunk->stride : width_ * 4;
    cast.order = order_;
    if (const auto* crop = metaData<spa_meta_region>(buffer, SPA_META_VideoCrop); crop && spa_meta_region_is_valid(crop)) {
        cast.videoCrop = PixelRect{crop->region.position.x, crop->region.position.y, crop->region.size.width,
                                   crop->region.size.height};
    }

    if (request_.wholePicture) {
        // The crop as far as the buffer holds it: a crop reaching past the
        // buffer would otherwise pad the picture with black.
        const PixelRect picture = castPictureRect(cast);
        if (picture.isEmpty()) return;
        // A window that changed size: frames of the new size from now on.
        if (picture.width != request_.area.width || picture.height != request_.area.height) {
            frames_ = RegionFrameRecycler(picture.width, picture.height, static_cast<size_t>(picture.width) * 4);
        }
        request_.area = PixelRect{0, 0, picture.width, picture.height};
    }
    std::unique_ptr<RegionFrame> frame = frames_.take();
    if (!copyCastArea(cast, request_.area, *frame)) return fail("the screen cast sent a buffer smaller than its format");
    if (request_.drawsCursorFromMetadata && cursor_ && cursorPosition_) {
        drawCastCursor(*cursor_, *cursorPosition_, request_.area, *frame);
    }
    if (slot_.publish(frames_.publish(std::move(frame))) == 1) {
        logLine(LogLevel::info, LogCategory::capture, "cast.stream first_frame");
    }
}

}  // namespace tessarin::portal
