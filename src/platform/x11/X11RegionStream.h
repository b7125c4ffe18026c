#pragma once
// A region of the root window grabbed at a fixed rate on its own thread and
// its own X connection (ShmAreaGrabber), each grab copied into a frame
// buffer that readers hand back when they let go of it (RegionFrameRecycler)
// and published as the newest one (LatestFrameSlot).

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/common/Geometry.h"
#include "platform/LatestFrameSlot.h"
#include "platform/RegionFrameRecycler.h"
#include "platform/RegionFrameStream.h"

namespace tessarin::x11 {

class ShmAreaGrabber;

class X11RegionStream final : public RegionFrameStream {
public:
    // `area` in root pixels, inside the root.
    X11RegionStream(std::string displayName, PixelRect area, double framesPerSecond);
    ~X11RegionStream() override;

    std::optional<CaptureError> start() override;
    void stop() override;
    LatestRegionFrame latest() override;
    std::optional<CaptureError> stopError() override;

private:
    void grabLoop();
    // One grab into `frame`; an error when the server no longer answers.
    std::optional<CaptureError> grab(RegionFrame& frame);

    std::string displayName_;
    PixelRect area_;
    std::chrono::nanoseconds interval_;
    std::unique_ptr<ShmAreaGrabber> grabber_;

    std::unique_ptr<RegionFrameRecycler> frames_;
    LatestFrameSlot slot_;
    std::thread thread_;
};

}  // namespace tessarin::x11
