#include "platform/portal/WaylandOutputs.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <tuple>

#include "platform/x11/X11Displays.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;

WaylandOutput output(std::string name, int32_t x, int32_t y, int32_t logicalWidth, int32_t logicalHeight,
                     int32_t modeWidth, int32_t modeHeight, int32_t transform = 0) {
    return {std::move(name), {}, x, y, logicalWidth, logicalHeight, modeWidth, modeHeight, 1, transform};
}

DisplayDescription display(const std::string& name, Rect frame, double scale, int64_t pixelWidth,
                           int64_t pixelHeight, bool primary) {
    DisplayDescription d;
    if (!name.empty()) d.displayID = x11::fnv1a32(name);
    d.name = name;
    d.frame = frame;
    d.visibleFrame = frame;
    d.scale = scale;
    d.pixelWidth = pixelWidth;
    d.pixelHeight = pixelHeight;
    d.primary = primary;
    return d;
}

TEST(WaylandOutputsTest, OutputsBecomeDisplaysInBottomLeftPointsWithThePrimaryFirst) {
    const struct {
        const char* what;
        std::vector<WaylandOutput> outputs;
        std::vector<DisplayDescription> expected;
    } cases[] = {
        {"scales 1 and 2 side by side",
         {output("HEADLESS-1", 0, 0, 1280, 720, 1280, 720), output("HEADLESS-2", 1280, 0, 640, 360, 1280, 720)},
         {display("HEADLESS-1", {0, 0, 1280, 720}, 1, 1280, 720, true),
          display("HEADLESS-2", {1280, 360, 640, 360}, 2, 1280, 720, false)}},
        {"the output at the origin is primary, whatever the order",
         {output("B", 1920, 0, 1920, 1080, 1920, 1080), output("A", 0, 0, 1920, 1080, 1920, 1080)},
         {display("A", {0, 0, 1920, 1080}, 1, 1920, 1080, true),
          display("B", {1920, 0, 1920, 1080}, 1, 1920, 1080, false)}},
        {"an output below the primary has a negative y",
         {output("LOW", 0, 1080, 1920, 1080, 1920, 1080), output("TOP", 0, 0, 1920, 1080, 1920, 1080)},
         {display("TOP", {0, 0, 1920, 1080}, 1, 1920, 1080, true),
          display("LOW", {0, -1080, 1920, 1080}, 1, 1920, 1080, false)}},
        {"no output at the origin: the first is primary",
         {output("R", 100, 50, 800, 600, 800, 600), output("S", 900, 50, 800, 600, 800, 600)},
         {display("R", {0, 0, 800, 600}, 1, 800, 600, true), display("S", {800, 0, 800, 600}, 1, 800, 600, false)}},
        {"a flipped quarter turn swaps the mode's sides",
         {output("FLIPPED", 0, 0, 540, 960, 1920, 1080, 7)},
         {display("FLIPPED", {0, 0, 540, 960}, 2, 1080, 1920, true)}},
        {"a fractional scale",
         {output("F", 0, 0, 1280, 720, 1920, 1080)},
         {display("F", {0, 0, 1280, 720}, 1.5, 1920, 1080, true)}},
        {"outputs without a size are left out, an unnamed one has no id",
         {output("OFF", 0, 0, 0, 0, 1920, 1080), output("", 0, 0, 640, 480, 640, 480)},
         {display("", {0, 0, 640, 480}, 1, 640, 480, true)}},
        {"nothing", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describeWaylandOutputs(c.outputs), c.expected);
    }
}

TEST(WaylandOutputsTest, AMissingCompositorIsAClearError) {
    const auto outputs = readWaylandOutputs("tessarin-test-no-such-wayland-display", 2s);
    ASSERT_FALSE(outputs);
    EXPECT_TRUE(outputs.error().starts_with(
        "cannot connect to the Wayland display \"tessarin-test-no-such-wayland-display\": "))
        << outputs.error();
}

// A socket that takes the connection but never answers, as a hung compositor.
TEST(WaylandOutputsTest, ASilentCompositorIsATimeOutNotAHang) {
    testing::TempDir folder;
    const std::string path = (folder / "wayland-silent").string();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    const auto outputs = readWaylandOutputs(path, 300ms);
    ASSERT_FALSE(outputs);
    EXPECT_EQ(outputs.error(), "the Wayland compositor did not answer in time");
    ::close(fd);
}

// Run inside tests/support/wayland-run.sh --outputs 2 --scales "1 2".
TEST(WaylandOutputsSessionTest, ReadsTheTestSessionsTwoOutputs) {
    if (std::getenv("WAYLAND_SESSION_SCRIPT") == nullptr) GTEST_SKIP() << "needs the test Wayland session";
    const auto outputs = readWaylandOutputs("", 5s);
    ASSERT_TRUE(outputs) << outputs.error();
    ASSERT_EQ(outputs->size(), 2u);
    const auto summary = [](const WaylandOutput& o) {
        return std::tuple(o.name, o.x, o.y, o.logicalWidth, o.logicalHeight, o.modeWidth, o.modeHeight, o.scale);
    };
    EXPECT_EQ(summary((*outputs)[0]), std::tuple("HEADLESS-1", 0, 0, 1280, 720, 1280, 720, 1));
    EXPECT_EQ(summary((*outputs)[1]), std::tuple("HEADLESS-2", 1280, 0, 640, 360, 1280, 720, 2));
}

}  // namespace
}  // namespace tessarin::portal
