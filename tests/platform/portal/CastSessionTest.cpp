// Region streams through the ScreenCast portal on the headless Wayland
// session the test runs in (tests/support/wayland-run.sh).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "core/common/Log.h"
#include "platform/portal/CastRegionStreams.h"
#include "platform/portal/PipeWireRegionStream.h"
#include "platform/portal/PortalRemoteDesktop.h"
#include "platform/portal/PortalWindowPick.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnvironment;

bool inSession() { return std::getenv("WAYLAND_DISPLAY") && std::getenv("DBUS_SESSION_BUS_ADDRESS"); }

// The output's background, as the session set it (#rrggbb in WS_BG's first entry).
std::array<uint8_t, 3> firstOutputColour() {
    const char* backgrounds = std::getenv("WS_BG");
    const std::string first = backgrounds ? std::string(backgrounds).substr(0, 7) : "#ff0000";
    const auto channel = [&](size_t at) { return static_cast<uint8_t>(std::stoi(first.substr(at, 2), nullptr, 16)); };
    return {channel(1), channel(3), channel(5)};
}

// How often the session's portal backend was handed a remembered choice
// (xdg-desktop-portal-wlr logs each one).
int restoredCasts() {
    const char* session = std::getenv("WAYLAND_SESSION_DIR");
    if (!session) return -1;
    std::ifstream log(std::string(session) + "/logs/xdg-desktop-portal-wlr.log");
    int count = 0;
    for (std::string line; std::getline(log, line);) count += line.find("restore data available") != std::string::npos;
    return count;
}

LatestRegionFrame waitForFrames(RegionFrameStream& stream, uint64_t count) {
    auto* cast = dynamic_cast<PipeWireRegionStream*>(&stream);
    LatestRegionFrame latest;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (latest.frameID < count && std::chrono::steady_clock::now() < deadline && !stream.stopError()) {
        latest = cast->waitForFrameAfter(latest.frameID, deadline);
    }
    return latest;
}

class CastSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(inSession()) << "runs inside the headless Wayland session (tests/support/wayland-run.sh)";
        configureLoggingFromEnvironment();  // TESSARIN_LOG=stderr shows the stream's states
    }
    // A cast started directly, and the request for a stream of its first
    // picture; nothing when a step failed.
    std::optional<PipeWireStreamRequest> startCast(ScreenCastOptions options = {}) {
        auto connection = PortalConnection::open();
        EXPECT_TRUE(connection) << connection.error().message;
        if (!connection) return std::nullopt;
        auto started = PortalScreenCast::start(connection.value(), options, std::nullopt);
        EXPECT_TRUE(started) << started.error().message;
        if (!started) return std::nullopt;
        cast = std::move(started.value());
        auto fd = cast->openPipeWireRemote();
        EXPECT_TRUE(fd) << fd.error().message;
        if (!fd) return std::nullopt;
        PipeWireStreamRequest request;
        request.remoteFd = fd.value();
        request.nodeID = cast->streams().front().nodeID;
        return request;
    }

    tessarin::testing::TempDir data_;
    ScopedEnvironment dataHome_{"XDG_DATA_HOME", data_.path().string()};
    std::shared_ptr<PortalScreenCast> cast;
};

TEST_F(CastSession, StreamsTheAreaOfTheOutputInItsColour) {
    CastRegionRequest request;
    request.area = {100, 50, 64, 32};
    auto stream = openCastRegionStream(nullptr, request);
    ASSERT_TRUE(stream) << stream.error().description();
    ASSERT_FALSE(stream.value()->start());
    const LatestRegionFrame latest = waitForFrames(*stream.value(), 3);
    ASSERT_GE(latest.frameID, 3u) << (stream.value()->stopError() ? stream.value()->stopError()->description() : "");
    ASSERT_TRUE(latest.frame);
    EXPECT_EQ(latest.frame->width, 64);
    EXPECT_EQ(latest.frame->height, 32);
    const auto colour = firstOutputColour();
    for (const auto& [x, y] : {std::pair{0, 0}, {63, 31}, {32, 16}}) {
        const uint8_t* pixel = latest.frame->row(y) + x * 4;
        EXPECT_EQ((std::array<uint8_t, 3>{pixel[2], pixel[1], pixel[0]}), colour) << x << "," << y;
    }
    stream.value()->stop();
    EXPECT_FALSE(stream.value()->stopError()) << "stopping is no failure";
}

// A stale token is dropped and the cast asked for again; the token that
// cast returned is kept, and the next cast is restored from it.
TEST_F(CastSession, AStaleTokenIsRenewedAndTheNewOneReused) {
    const auto tokens = CastRestoreTokenFile::inDataHome();
    ASSERT_TRUE(tokens);
    ASSERT_TRUE(tokens->save("not-a-token-the-portal-gave"));
    CastRegionRequest request;
    request.area = {0, 0, 16, 16};
    {
        auto stream = openCastRegionStream(nullptr, request);
        ASSERT_TRUE(stream) << stream.error().description();
    }
    const auto renewed = tokens->load();
    ASSERT_TRUE(renewed);
    EXPECT_NE(*renewed, "not-a-token-the-portal-gave");
    const int restoredBefore = restoredCasts();
    ASSERT_GE(restoredBefore, 0) << "the session's logs are readable";
    {
        auto stream = openCastRegionStream(nullptr, request);
        ASSERT_TRUE(stream) << stream.error().description();
    }
    EXPECT_TRUE(tokens->load()) << "the token the restored cast returned is kept";
    EXPECT_EQ(restoredCasts(), restoredBefore + 1) << "the second cast was restored from the token, not asked for";
}

// Another display than the shared one, and input without RemoteDesktop.
TEST_F(CastSession, RefusalsNameTheirReason) {
    CastRegionRequest request;
    request.area = {0, 0, 16, 16};
    request.displayLayout = PixelRect{5000, 0, 100, 100};
    auto stream = openCastRegionStream(nullptr, request);
    ASSERT_FALSE(stream);
    EXPECT_EQ(stream.error().description(),
              "Capture failed: the ScreenCast portal shares another screen than the one asked for");

    auto connection = PortalConnection::open();
    ASSERT_TRUE(connection) << connection.error().message;
    EXPECT_EQ(remoteDesktopVersion(*connection.value(), 5s), 0u);
    const AccessStatus access = remoteDesktopAccess(*connection.value(), 5s);
    EXPECT_FALSE(access.granted);
    EXPECT_EQ(access.refusal, std::string(kNoRemoteDesktopMessage));
    auto input = PortalRemoteDesktop::start(connection.value(), 5s);
    ASSERT_FALSE(input);
    EXPECT_EQ(input.error(), (PortalError{PortalError::Kind::missingPortal, kNoRemoteDesktopMessage}));
}

TEST_F(CastSession, TheEndOfTheCastIsTheStreamsStopError) {
    auto request = startCast();
    ASSERT_TRUE(request);
    request->area = {0, 0, 32, 32};
    PipeWireRegionStream stream(*request, nullptr);
    ASSERT_FALSE(stream.start());
    ASSERT_GE(waitForFrames(stream, 2).frameID, 2u);
    // The portal ends the cast (as when the user stops sharing).
    cast->close();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!stream.stopError() && std::chrono::steady_clock::now() < deadline) {
        stream.waitForFrameAfter(stream.latest().frameID, deadline);
    }
    const auto error = stream.stopError();
    ASSERT_TRUE(error) << "the stream says it ended";
    EXPECT_EQ(error->kind(), CaptureError::Kind::captureFailed);
    EXPECT_TRUE(stream.latest().frame) << "the last frame stays readable";
}

// The window pick's stream follows the shared picture's own size; on this
// portal, which shares whole screens only, it is shown a monitor, and a
// window pick itself is refused with the reason.
TEST_F(CastSession, AWholePictureStreamTakesTheSharedPicturesSizeAndWindowsAreNotOffered) {
    auto connection = PortalConnection::open();
    ASSERT_TRUE(connection) << connection.error().message;
    const auto picked = pickWindowThroughPortal(connection.value(), {std::chrono::seconds(10), std::chrono::seconds(5)});
    ASSERT_FALSE(picked);
    EXPECT_NE(picked.error().description().find("cannot share a single window"), std::string::npos)
        << picked.error().description();

    ScreenCastOptions options;
    options.remembersChoice = false;
    auto request = startCast(options);
    ASSERT_TRUE(request);
    request->wholePicture = true;
    PipeWireRegionStream stream(*request, std::shared_ptr<void>(cast));
    ASSERT_FALSE(stream.start());
    const LatestRegionFrame latest = waitForFrames(stream, 1);
    ASSERT_TRUE(latest.frame) << (stream.stopError() ? stream.stopError()->description() : "no frame");
    EXPECT_EQ(latest.frame->width, 1280);
    EXPECT_EQ(latest.frame->height, 720);
    const auto image = opaqueImageOfFrame(*latest.frame);
    ASSERT_TRUE(image);
    const auto colour = firstOutputColour();
    const uint8_t* corner = image->row(719) + 1279 * 4;
    EXPECT_EQ((std::array{corner[0], corner[1], corner[2], corner[3]}),
              (std::array<uint8_t, 4>{colour[0], colour[1], colour[2], 255}));
    stream.stop();
}

}  // namespace
}  // namespace tessarin::portal
