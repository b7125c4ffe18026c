// The portal back end against a stand-in Screenshot portal on the bus of a
// real headless Wayland session that has no portal of its own (run inside
// tests/support/wayland-run.sh --portals none): the outputs are real, the
// portal's answers scripted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <variant>

#include "platform/portal/FakeDesktopPortal.h"
#include "platform/portal/PortalScreenBackend.h"
#include "render/ByteSink.h"
#include "render/ImageDecoder.h"
#include "render/PngEncoder.h"
#include "support/TempDir.h"

namespace tessarin::portal {
namespace {

using namespace std::chrono_literals;
using Behaviour = testing::FakeDesktopPortal::Behaviour;

class PortalBackendSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("WAYLAND_SESSION_SCRIPT") == nullptr) GTEST_SKIP() << "needs the test Wayland session";
    }
    // The first display, whole.
    Expected<Image, CaptureError> captureFirstDisplay(std::chrono::milliseconds timeout = 5s) {
        PortalScreenBackend backend({{}, 5s, timeout});
        auto displays = backend.displays();
        if (!displays) return unexpected(displays.error());
        const DisplayDescription& first = displays->front();
        return backend.captureDisplayArea(*first.displayID, {0, 0, first.pixelWidth, first.pixelHeight});
    }
};

TEST_F(PortalBackendSessionTest, ARefusalOrCancelIsPermissionDenied) {
    for (const Behaviour behaviour : {Behaviour::refuse, Behaviour::cancel, Behaviour::notAllowed}) {
        const testing::FakeDesktopPortal portal(behaviour);
        const auto image = captureFirstDisplay();
        ASSERT_FALSE(image);
        EXPECT_EQ(image.error(), CaptureError::permissionDenied());
    }
}

TEST_F(PortalBackendSessionTest, APortalThatNeverAnswersIsATimeOutNotAHang) {
    const testing::FakeDesktopPortal portal(Behaviour::silent);
    const auto image = captureFirstDisplay(400ms);
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().description(),
              "Capture failed: the desktop portal did not answer org.freedesktop.portal.Screenshot.Screenshot within "
              "400 ms; the request was closed");
    EXPECT_EQ(portal.closed().size(), 1u);
}

TEST_F(PortalBackendSessionTest, AnAnswerThatIsNoImageIsADecodeError) {
    testing::TempDir folder;
    std::ofstream(folder / "not-an-image.png") << "plain text, not a picture";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"file://" + (folder / "not-an-image.png").string(), "Capture failed: Failed to decode screenshot image " +
                                                                  (folder / "not-an-image.png").string() + ": "},
        {"https://example.invalid/shot.png",
         "Capture failed: the Screenshot portal's image is not a local file: https://example.invalid/shot.png"},
    };
    for (const auto& [uri, message] : cases) {
        const testing::FakeDesktopPortal portal(Behaviour::answer, uri);
        const auto image = captureFirstDisplay();
        ASSERT_FALSE(image) << uri;
        EXPECT_EQ(image.error().description().rfind(message, 0), 0u) << image.error().description();
    }
}

std::vector<uint8_t> pngOf(const Image& image) {
    MemorySink sink;
    EXPECT_TRUE(encodePng(image, sink));
    return sink.bytes();
}

void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// A picture of the session's one 1280x720 output whose every pixel says where it is.
Image layoutPicture(uint32_t width, uint32_t height) {
    auto image = Image::allocate(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* pixel = image->row(y) + x * 4;
            pixel[0] = uint8_t(x), pixel[1] = uint8_t(y), pixel[2] = uint8_t(x >> 8 | y >> 8 << 4), pixel[3] = 255;
        }
    }
    return std::move(*image);
}

// Freezing the screens asks the portal once for every area; a whole lone
// display for a file is the portal's own PNG when it is whole and of the
// display's size, pixels otherwise, and a damaged file is never passed on.
TEST_F(PortalBackendSessionTest, OneScreenshotServesEveryAreaAndAWholeLoneDisplayIsThePortalsFile) {
    PortalScreenBackend backend({{}, 5s, 5s});
    const auto displays = backend.displays();
    ASSERT_TRUE(displays);
    const DisplayDescription& display = displays->front();
    ASSERT_EQ(std::pair(display.pixelWidth, display.pixelHeight), std::pair(int64_t{1280}, int64_t{720}));
    const uint32_t id = *display.displayID;
    const PixelRect whole{0, 0, 1280, 720};
    testing::TempDir folder;
    const auto file = folder / "portal.png";
    const Image layout = layoutPicture(1280, 720);
    const std::vector<uint8_t> png = pngOf(layout);
    writeBytes(file, png);
    {
        const testing::FakeDesktopPortal portal(Behaviour::answer, "file://" + file.string());
        const auto images = backend.captureDisplayAreas({{id, {0, 0, 10, 10}}, {id, {1270, 710, 10, 10}}, {id, whole}});
        ASSERT_TRUE(images) << images.error().description();
        EXPECT_EQ(portal.requests().size(), 1u);
        ASSERT_EQ(images->size(), 3u);
        EXPECT_EQ(0, std::memcmp((*images)[1].row(9) + 9 * 4, layout.row(719) + 1279 * 4, 4));
        EXPECT_EQ((*images)[2].width(), 1280u);

        const auto passed = backend.captureDisplayForFile(id, whole);
        ASSERT_TRUE(passed);
        ASSERT_TRUE(std::holds_alternative<EncodedPNG>(*passed));
        EXPECT_EQ(std::get<EncodedPNG>(*passed).bytes, png);
        const auto part = backend.captureDisplayForFile(id, {0, 0, 640, 360});
        ASSERT_TRUE(part);
        EXPECT_EQ(std::get<Image>(*part).width(), 640u) << "an area is cut from pixels";
    }
    // Half the size (as at another scale): resampled pixels, not the file.
    writeBytes(file, pngOf(layoutPicture(640, 360)));
    {
        const testing::FakeDesktopPortal portal(Behaviour::answer, "file://" + file.string());
        const auto resampled = backend.captureDisplayForFile(id, whole);
        ASSERT_TRUE(resampled) << resampled.error().description();
        ASSERT_TRUE(std::holds_alternative<Image>(*resampled));
        EXPECT_EQ(std::get<Image>(*resampled).width(), 1280u);
    }
    std::vector<uint8_t> damaged = png;
    damaged[damaged.size() / 2] ^= 0x40;
    writeBytes(file, damaged);
    {
        const testing::FakeDesktopPortal portal(Behaviour::answer, "file://" + file.string());
        const auto refused = backend.captureDisplayForFile(id, whole);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().description().rfind("Capture failed: Failed to decode screenshot image", 0), 0u)
            << refused.error().description();
    }
}

TEST_F(PortalBackendSessionTest, AccessNamesTheMissingPortal) {
    PortalScreenBackend backend({});
    EXPECT_FALSE(backend.screenCaptureAccess().granted);
    EXPECT_EQ(backend.screenCaptureAccess().detail, missingScreenshotPortalMessage());
    const testing::FakeDesktopPortal portal(Behaviour::answer);
    EXPECT_TRUE(backend.screenCaptureAccess().granted);
    EXPECT_EQ(backend.screenCaptureAccess().detail, "Screenshot portal version 2 on a Wayland session");
}

}  // namespace
}  // namespace tessarin::portal
