// The portal back end's pure parts: cutting one output out of the portal's
// image of the whole layout, and doctor's account of the portals.

#include <gtest/gtest.h>

#include "platform/portal/LayoutImageCrop.h"
#include "platform/portal/PortalDoctor.h"

namespace tessarin::portal {
namespace {

// A layout image whose every pixel says where it is: red = x, green = y
// (both modulo 256), blue = 7.
Image positionImage(uint32_t width, uint32_t height) {
    auto image = Image::allocate(width, height);
    if (!image) std::abort();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = image->row(y) + x * 4;
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 7, p[3] = 255;
        }
    }
    return std::move(*image);
}

// The layout position a result pixel came from.
std::pair<int, int> sourceOf(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.row(y) + x * 4;
    return {p[0], p[1]};
}

TEST(LayoutImageCropTest, LayoutBoundsCoverEveryOutput) {
    EXPECT_EQ(layoutBounds({}), (PixelRect{}));
    EXPECT_EQ(layoutBounds({{{0, 0, 100, 50}, 100, 50}, {{100, 0, 40, 20}, 80, 40}}), (PixelRect{0, 0, 140, 50}));
    EXPECT_EQ(layoutBounds({{{-20, 10, 30, 30}, 30, 30}, {{10, -5, 10, 10}, 10, 10}}), (PixelRect{-20, -5, 40, 45}));
}

TEST(LayoutImageCropTest, CutsAnAreaOfOneOutputInItsOwnPixels) {
    // Two outputs side by side, logical 100x50 at scale 1 and 40x20 at scale 2:
    // the portal's image is the 140x50 layout at scale 2, 280x100 pixels.
    const OutputPlacement first{{0, 0, 100, 50}, 100, 50};
    const OutputPlacement second{{100, 0, 40, 20}, 80, 40};
    const PixelRect bounds = layoutBounds({first, second});
    const Image layout = positionImage(280, 100);
    const struct {
        const char* what;
        OutputPlacement output;
        PixelRect area;
        std::vector<std::tuple<uint32_t, uint32_t, int, int>> samples;  // result x, y -> layout x, y
    } cases[] = {
        {"the output at the image's scale: a plain crop", second, {10, 5, 20, 10},
         {{0, 0, 210, 5}, {19, 9, 229, 14}}},
        {"the whole output at the image's scale", second, {0, 0, 80, 40}, {{0, 0, 200, 0}, {79, 39, 279, 39}}},
        {"an output of half the image's scale: every other pixel", first, {0, 0, 100, 50},
         {{0, 0, 1, 1}, {1, 0, 3, 1}, {99, 49, 199, 99}}},
        {"an area of it", first, {10, 20, 5, 5}, {{0, 0, 21, 41}, {4, 4, 29, 49}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto cut = cropOutputArea(layout, bounds, c.output, c.area);
        ASSERT_TRUE(cut) << cut.error();
        EXPECT_EQ(cut->width(), uint32_t(c.area.width));
        EXPECT_EQ(cut->height(), uint32_t(c.area.height));
        for (const auto& [x, y, sourceX, sourceY] : c.samples) {
            EXPECT_EQ(sourceOf(*cut, x, y), std::make_pair(sourceX % 256, sourceY % 256)) << x << "," << y;
        }
    }
}

TEST(LayoutImageCropTest, RefusesAreasOutsideTheOutputAndImagesThatDoNotFitTheLayout) {
    const OutputPlacement output{{0, 0, 100, 50}, 200, 100};
    const Image layout = positionImage(200, 100);
    const struct {
        PixelRect area;
        const Image* image;
        std::string message;
    } cases[] = {
        {{190, 0, 20, 10}, &layout, "area 20x10+190+0 is not inside the output (200x100 pixels)"},
        {{0, 0, 0, 10}, &layout, "area 0x10+0+0 is not inside the output (200x100 pixels)"},
        {{-1, 0, 10, 10}, &layout, "area 10x10+-1+0 is not inside the output (200x100 pixels)"},
    };
    for (const auto& c : cases) {
        const auto cut = cropOutputArea(*c.image, {0, 0, 100, 50}, output, c.area);
        ASSERT_FALSE(cut);
        EXPECT_EQ(cut.error(), c.message);
    }
    const Image wrongShape = positionImage(200, 200);
    const auto cut = cropOutputArea(wrongShape, {0, 0, 100, 50}, output, {0, 0, 10, 10});
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error(),
              "the screenshot (200x200 pixels) does not match the layout of the outputs (100x50); did a display "
              "change?");
}

TEST(PortalDoctorTest, NamesEachPortalWithItsVersionOrAHint) {
    const auto all = describePortals("wayland-1", std::vector<PortalInterface>{
                                                      {"org.freedesktop.portal.GlobalShortcuts", 1},
                                                      {"org.freedesktop.portal.RemoteDesktop", 2},
                                                      {"org.freedesktop.portal.ScreenCast", 4},
                                                      {"org.freedesktop.portal.Screenshot", 2},
                                                      {"org.freedesktop.portal.Trash", 1},
                                                  });
    EXPECT_EQ(all.captureLabel, "screenshots (portal)");
    EXPECT_EQ(all.details, (std::vector<BackendDescription::Detail>{
                               {"back end", "desktop portals (Wayland display wayland-1)"},
                               {"portal Screenshot", "version 2 ✓"},
                               {"portal ScreenCast", "version 4 ✓"},
                               {"portal RemoteDesktop", "version 2 ✓"},
                               {"portal GlobalShortcuts", "version 1 ✓"},
                           }));
    EXPECT_TRUE(all.hints.empty());

    const auto some = describePortals("", std::vector<PortalInterface>{{"org.freedesktop.portal.ScreenCast", 4}});
    EXPECT_EQ(some.details.front().value, "desktop portals (Wayland display default)");
    EXPECT_EQ(some.details[1], (BackendDescription::Detail{"portal Screenshot", "missing ✗"}));
    ASSERT_EQ(some.hints.size(), 3u);
    EXPECT_EQ(some.hints[0],
              "no Screenshot portal: captures fail. Install xdg-desktop-portal-wlr (sway, wlroots), -gnome or -kde "
              "for your desktop");
    EXPECT_EQ(some.hints[1], "no RemoteDesktop portal: no auto-scroll; scroll by hand (capture-scrolling --no-auto-scroll)");
}

TEST(PortalDoctorTest, NoBusOrNoPortalServiceIsOneLineAndOneHint) {
    const auto noBus = describePortals("w", unexpected(PortalError{PortalError::Kind::noBus, "no session D-Bus"}));
    EXPECT_EQ(noBus.details.back(), (BackendDescription::Detail{"portals", "none answer (no session D-Bus)"}));
    EXPECT_EQ(noBus.hints, std::vector<std::string>{"start tessarin inside the desktop session, whose D-Bus the "
                                                    "portals are on"});
    const auto noService =
        describePortals("w", unexpected(PortalError{PortalError::Kind::missingPortal, "ServiceUnknown"}));
    EXPECT_EQ(noService.details.back(),
              (BackendDescription::Detail{"portals", "none (xdg-desktop-portal is not running on the session bus)"}));
    EXPECT_EQ(noService.hints.size(), 1u);
}

}  // namespace
}  // namespace tessarin::portal
