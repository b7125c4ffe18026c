#include "platform/portal/CastRegionStreams.h"

#include "platform/portal/PipeWireRegionStream.h"

namespace tessarin::portal {

std::optional<CastStream> castStreamFor(const std::vector<CastStream>& streams, std::optional<PixelRect> displayLayout) {
    if (streams.empty()) return std::nullopt;
    if (!displayLayout) return streams.front();
    for (const CastStream& stream : streams) {
        if (stream.logicalRect && stream.logicalRect->x == displayLayout->x && stream.logicalRect->y == displayLayout->y) {
            return stream;
        }
    }
    if (streams.size() == 1 && !streams.front().logicalRect) return streams.front();
    return std::nullopt;
}

CaptureError castCaptureError(const PortalError& error) {
    switch (error.kind) {
        case PortalError::Kind::denied:
        case PortalError::Kind::cancelled: return CaptureError::permissionDenied();
        default: return CaptureError::captureFailed(error.message);
    }
}

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> openCastRegionStream(
    std::shared_ptr<PortalConnection> connection, const CastRegionRequest& request) {
    if (request.area.isEmpty()) return unexpected(CaptureError::captureFailed("the area to stream is empty"));
    auto opened = PortalConnection::givenOrOpen(std::move(connection));
    if (!opened) return unexpected(castCaptureError(opened.error()));
    connection = std::move(opened.value());
    ScreenCastOptions options;
    options.showsCursor = request.showsCursor;
    // Without a remembered choice a desktop may show its screen chooser on
    // Start (GNOME does) and wait for the person; the other steps keep the
    // short time-out.
    options.chooserTimeout = std::chrono::minutes(2);
    auto cast = PortalScreenCast::start(connection, options, CastRestoreTokenFile::inDataHome());
    if (!cast) return unexpected(castCaptureError(cast.error()));
    const auto stream = castStreamFor(cast.value()->streams(), request.displayLayout);
    if (!stream) {
        return unexpected(CaptureError::captureFailed(
            "the ScreenCast portal shares another screen than the one asked for"));
    }
    auto fd = cast.value()->openPipeWireRemote();
    if (!fd) return unexpected(castCaptureError(fd.error()));
    PipeWireStreamRequest streamRequest;
    streamRequest.remoteFd = fd.value();
    streamRequest.nodeID = stream->nodeID;
    streamRequest.area = request.area;
    streamRequest.framesPerSecond = request.framesPerSecond;
    streamRequest.drawsCursorFromMetadata = cast.value()->drawsCursorFromMetadata();
    return std::unique_ptr<RegionFrameStream>(
        std::make_unique<PipeWireRegionStream>(streamRequest, std::shared_ptr<void>(cast.value())));
}

}  // namespace tessarin::portal
