#include "platform/portal/PortalWindowPick.h"

#include "core/common/Log.h"
#include "core/common/PixelRows.h"
#include "platform/portal/CastRegionStreams.h"
#include "platform/portal/PipeWireRegionStream.h"
#include "platform/portal/PortalScreenCast.h"

namespace tessarin::portal {

Expected<std::optional<Image>, CaptureError> windowPickFailure(const PortalError& error) {
    if (error.kind == PortalError::Kind::cancelled) return std::optional<Image>();
    return unexpected(castCaptureError(error));
}

std::optional<Image> opaqueImageOfFrame(const RegionFrame& frame) {
    if (!frame.isWellFormed()) return std::nullopt;
    auto image = Image::allocate(static_cast<uint32_t>(frame.width), static_cast<uint32_t>(frame.height));
    if (!image) return std::nullopt;
    for (uint32_t y = 0; y < image->height(); ++y) {
        bgrxRowToOpaqueRgba(frame.row(y), image->row(y), image->width());
    }
    return image;
}

Expected<std::optional<Image>, CaptureError> pickWindowThroughPortal(
    std::shared_ptr<PortalConnection> connection, WindowPickTimeouts timeouts,
    std::shared_ptr<const WindowPickAbandonment> abandonment) {
    auto opened = PortalConnection::givenOrOpen(std::move(connection));
    if (!opened) return windowPickFailure(opened.error());
    connection = std::move(opened.value());
    ScreenCastOptions options;
    options.sourceTypes = kCastWindowSource;
    // Each pick asks afresh: a remembered window would be picked without the person.
    options.remembersChoice = false;
    options.timeout = timeouts.portal;
    options.chooserTimeout = timeouts.chooser;
    if (abandonment) options.abandon = abandonment->cancellable();
    auto cast = PortalScreenCast::start(connection, options, std::nullopt);
    if (!cast) return windowPickFailure(cast.error());
    // Given up just as the person picked: nothing more is read.
    if (abandonment && abandonment->abandoned()) return std::optional<Image>();
    auto fd = cast.value()->openPipeWireRemote();
    if (!fd) return windowPickFailure(fd.error());

    PipeWireStreamRequest request;
    request.remoteFd = fd.value();
    request.nodeID = cast.value()->streams().front().nodeID;
    request.wholePicture = true;
    PipeWireRegionStream stream(request, std::shared_ptr<void>(cast.value()));
    if (auto error = stream.start()) return unexpected(*error);
    const auto latest = stream.waitForFrameAfter(0, std::chrono::steady_clock::now() + timeouts.firstFrame);
    const auto ended = stream.stopError();
    stream.stop();
    if (!latest.frame) {
        return unexpected(ended ? *ended : CaptureError::captureFailed("the picked window's picture did not arrive"));
    }
    auto image = opaqueImageOfFrame(*latest.frame);
    if (!image) return unexpected(CaptureError::captureFailed("the picked window's picture could not be read"));
    logLine(LogLevel::info, LogCategory::capture,
            "window.pick portal size=" + std::to_string(image->width()) + "x" + std::to_string(image->height()));
    return std::optional<Image>(std::move(*image));
}

}  // namespace tessarin::portal
