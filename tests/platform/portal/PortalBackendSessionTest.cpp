// The portal back end against a stand-in Screenshot portal on the bus of a
// real headless Wayland session that has no portal of its own (run inside
// tests/support/wayland-run.sh --portals none): the outputs are real, the
// portal's answers scripted.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/portal/FakeDesktopPortal.h"
#include "platform/portal/PortalScreenBackend.h"
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
        EXPECT_EQ(image.error().description(), "Screen recording permission denied");
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
        {"file://" + (folder / "missing.png").string(),
         "Capture failed: Failed to decode screenshot image " + (folder / "missing.png").string() + ": "},
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

TEST_F(PortalBackendSessionTest, AccessNamesTheMissingPortal) {
    PortalScreenBackend backend({});
    EXPECT_EQ(backend.screenCaptureAccess().granted, false);
    EXPECT_EQ(backend.screenCaptureAccess().detail, missingScreenshotPortalMessage());
    const testing::FakeDesktopPortal portal(Behaviour::answer);
    EXPECT_EQ(backend.screenCaptureAccess().granted, true);
    EXPECT_EQ(backend.screenCaptureAccess().detail, "Screenshot portal version 2 on a Wayland session");
}

}  // namespace
}  // namespace tessarin::portal
