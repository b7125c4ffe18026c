// The platform's pure parts: which back end a session gets, and how a
// region stream's frame buffers come back.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>
#include <optional>
#include <string>

#include "platform/LatestFrameSlot.h"
#include "platform/PlatformChoice.h"
#include "platform/RegionFrameRecycler.h"

namespace tessarin {
namespace {

// The decision alone, for every kind of session, without a display server.
TEST(PlatformChoice, WaylandSessionsGetThePortalBackEndUnlessAnotherIsForced) {
    using Kind = PlatformChoice::Kind;
    using Variables = std::map<std::string, std::string, std::less<>>;
    const std::string noDisplay =
        "no X display: DISPLAY is not set (run under an X session or Xvfb; a Wayland session sets WAYLAND_DISPLAY "
        "and gets the portal back end)";
    const struct {
        Variables environment;
        PlatformChoice expected;
    } rows[] = {
        {{{"DISPLAY", ":0"}}, {Kind::x11, ":0", {}}},
        {{}, {Kind::null, {}, noDisplay}},
        // Xwayland sets DISPLAY too.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}, {Kind::portal, "wayland-0", {}}},
        {{{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "wayland"}}, {Kind::portal, {}, {}}},
        {{{"WAYLAND_DISPLAY", "wayland-1"}}, {Kind::portal, "wayland-1", {}}},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}}, {Kind::x11, ":0", {}}},  // empty is unset
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"TESSARIN_PLATFORM", "x11"}}, {Kind::x11, ":0", {}}},
        {{{"WAYLAND_DISPLAY", "wayland-0"}, {"TESSARIN_PLATFORM", "x11"}}, {Kind::null, {}, noDisplay}},
        {{{"DISPLAY", ":0"}, {"TESSARIN_PLATFORM", "null"}},
         {Kind::null, {}, "screen capture disabled (TESSARIN_PLATFORM=null)"}},
        // TESSARIN_BACKEND chooses either back end in any session; null still wins.
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"TESSARIN_BACKEND", "x11"}}, {Kind::x11, ":0", {}}},
        {{{"DISPLAY", ":0"}, {"TESSARIN_BACKEND", "portal"}}, {Kind::portal, {}, {}}},
        {{{"DISPLAY", ":0"}, {"TESSARIN_PLATFORM", "null"}, {"TESSARIN_BACKEND", "portal"}},
         {Kind::null, {}, "screen capture disabled (TESSARIN_PLATFORM=null)"}},
        {{{"DISPLAY", ":0"}, {"TESSARIN_BACKEND", "wayland"}},
         {Kind::null, {}, "unknown TESSARIN_BACKEND value \"wayland\" (expected x11 or portal)"}},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"TESSARIN_BACKEND", ""}}, {Kind::portal, "wayland-0", {}}},
        {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"TESSARIN_PLATFORM", "wayland"}},
         {Kind::null, {}, "unknown TESSARIN_PLATFORM value \"wayland\" (expected x11 or null)"}},
    };
    for (const auto& [variables, expected] : rows) {
        const auto lookup = [&variables](std::string_view name) -> std::optional<std::string> {
            const auto found = variables.find(name);
            if (found == variables.end() || found->second.empty()) return std::nullopt;
            return found->second;
        };
        std::string described;
        for (const auto& [name, value] : variables) described += name + "=" + value + " ";
        SCOPED_TRACE(described);
        EXPECT_EQ(choosePlatform(lookup), expected);
    }
}

// A waiting reader wakes for a newer frame or the end of the stream, and an
// end asked for is no error, whatever fails after it.
TEST(LatestFrameSlot, WaitersWakeForAFrameOrTheEndAndAClosedStreamFailsNoMore) {
    using namespace std::chrono_literals;
    const auto soon = [] { return std::chrono::steady_clock::now() + 5s; };
    LatestFrameSlot slot;
    EXPECT_EQ(slot.latest().frameID, 0u);
    std::thread deliverer([&] { slot.publish(std::make_shared<RegionFrame>()); });
    const LatestRegionFrame first = slot.waitForFrameAfter(0, soon());
    deliverer.join();
    EXPECT_EQ(first.frameID, 1u);
    EXPECT_TRUE(first.frame);
    EXPECT_EQ(slot.publish(std::make_shared<RegionFrame>()), 2u);
    // Nothing newer: the deadline ends the wait.
    EXPECT_EQ(slot.waitForFrameAfter(2, std::chrono::steady_clock::now() + 10ms).frameID, 2u);

    std::thread failing([&] { EXPECT_TRUE(slot.fail(CaptureError::captureFailed("the server went away"))); });
    EXPECT_EQ(slot.waitForFrameAfter(2, soon()).frameID, 2u);
    failing.join();
    EXPECT_FALSE(slot.fail(CaptureError::captureFailed("a second reason")));
    EXPECT_EQ(slot.stopError(), CaptureError::captureFailed("the server went away"));

    LatestFrameSlot closed;
    std::thread closer([&] { closed.close(); });
    EXPECT_TRUE(closed.waitForClose(soon()));
    closer.join();
    EXPECT_FALSE(closed.fail(CaptureError::captureFailed("disconnected")));
    EXPECT_FALSE(closed.stopError());
    EXPECT_FALSE(LatestFrameSlot().waitForClose(std::chrono::steady_clock::now() + 10ms));
}

TEST(RegionFrameRecycler, ABufferComesBackOnlyWhenItsLastReaderLetsGo) {
    RegionFrameRecycler frames(4, 2, 16);
    auto first = frames.take();
    ASSERT_EQ(first->bytes.size(), 32u);
    const RegionFrame* firstBuffer = first.get();
    std::shared_ptr<const RegionFrame> published = frames.publish(std::move(first));
    std::shared_ptr<const RegionFrame> reader = published;  // a reader still holds it
    published.reset();
    EXPECT_EQ(frames.spares(), 0u);
    auto second = frames.take();
    EXPECT_NE(second.get(), firstBuffer);  // so the next grab gets a new one
    reader.reset();
    EXPECT_EQ(frames.spares(), 1u);
    auto third = frames.take();
    EXPECT_EQ(third.get(), firstBuffer);  // handed back, reused
    EXPECT_EQ(std::pair(third->width, third->height), std::pair(int64_t{4}, int64_t{2}));

    // Readers may outlive the stream: their buffer is then simply freed.
    std::shared_ptr<const RegionFrame> late;
    {
        RegionFrameRecycler gone(4, 2, 16);
        late = gone.publish(gone.take());
    }
    late.reset();
}

}  // namespace
}  // namespace tessarin
