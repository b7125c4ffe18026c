#pragma once
// A region of a screen-cast PipeWire stream as a RegionFrameStream: its own
// PipeWire thread loop on the remote the portal opened, shared-memory
// buffers in B, G, R or R, G, B order with an optional crop and cursor in
// metadata; each buffer's wanted area is copied into a recycled frame and
// published as the newest one. Frames come at the sender's pace (at most
// the asked rate); when the stream ends, stopError() says why.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/common/Geometry.h"
#include "platform/LatestFrameSlot.h"
#include "platform/RegionFrameRecycler.h"
#include "platform/RegionFrameStream.h"
#include "platform/portal/CastFrames.h"

struct pw_buffer;
struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_registry;
struct spa_pod;

namespace tessarin::portal {

struct PipeWireStreamRequest {
    int remoteFd = -1;         // the portal's PipeWire remote; the stream owns it from then on
    uint32_t nodeID = 0;       // the stream's node on that remote
    PixelRect area;            // pixels of the shared picture, top-left origin
    double framesPerSecond = 30;
    bool drawsCursorFromMetadata = false;
    // The area is the whole shared picture, whatever size it has or takes
    // (a window's stream); `area` is then ignored.
    bool wholePicture = false;
};

class PipeWireRegionStream final : public RegionFrameStream {
public:
    // `session` is kept for as long as the stream lives: releasing it may
    // end the cast (the portal session closes).
    PipeWireRegionStream(PipeWireStreamRequest request, std::shared_ptr<void> session);
    ~PipeWireRegionStream() override;
    PipeWireRegionStream(const PipeWireRegionStream&) = delete;
    PipeWireRegionStream& operator=(const PipeWireRegionStream&) = delete;

    std::optional<CaptureError> start() override;
    void stop() override;
    LatestRegionFrame latest() override;
    std::optional<CaptureError> stopError() override;

    // Waits until a frame newer than `frameID` is there, the stream
    // stopped, or `deadline` passed; the newest frame either way.
    LatestRegionFrame waitForFrameAfter(uint64_t frameID, std::chrono::steady_clock::time_point deadline);

    // Called on the PipeWire thread; public only for the C callbacks.
    void onStateChanged(int state, const char* error);
    void onFormatChanged(const spa_pod* format);
    void onProcess();
    void onCoreError(uint32_t id, int result, const char* message);
    void onGlobalRemoved(uint32_t id);

private:
    struct Hooks;
    void fail(std::string reason);
    void receive(pw_buffer& buffer);
    void closeLoop();

    PipeWireStreamRequest request_;
    std::shared_ptr<void> session_;
    RegionFrameRecycler frames_;

    // PipeWire objects, touched with the loop's lock held.
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    pw_registry* registry_ = nullptr;  // tells when the shared node goes away
    std::unique_ptr<Hooks> hooks_;
    int64_t width_ = 0;
    int64_t height_ = 0;
    CastPixelOrder order_ = CastPixelOrder::bgra;
    bool formatKnown_ = false;
    std::optional<CastCursorImage> cursor_;
    std::optional<Point> cursorPosition_;
    bool wasStreaming_ = false;

    LatestFrameSlot slot_;
};

}  // namespace tessarin::portal
