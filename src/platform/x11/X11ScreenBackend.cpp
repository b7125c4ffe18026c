#include "platform/x11/X11ScreenBackend.h"

#include <unistd.h>

#include <array>

#include <xcb/composite.h>
#include <xcb/xtest.h>

#include <cstdlib>

#include "platform/x11/PixelRects.h"
#include "platform/x11/X11RegionStream.h"

namespace tessarin::x11 {

namespace {

std::string hostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return {};
    return name.data();
}

}  // namespace

Expected<std::unique_ptr<X11ScreenBackend>, std::string> X11ScreenBackend::connect(const std::string& displayName,
                                                                                   X11BackendOptions options) {
    auto connection = X11Connection::open(displayName);
    if (!connection) return unexpected(connection.error());
    if (options.localHostName.empty()) options.localHostName = hostName();
    return std::unique_ptr<X11ScreenBackend>(new X11ScreenBackend(std::move(connection.value()), std::move(options)));
}

X11ScreenBackend::X11ScreenBackend(std::unique_ptr<X11Connection> connection, X11BackendOptions options)
    : connection_(std::move(connection)),
      options_(std::move(options)),
      pixels_(*connection_, options_.pixels),
      windows_(*connection_, options_.processName, options_.localHostName) {}

Expected<DesktopLayout, CaptureError> X11ScreenBackend::layout() const {
    // Read afresh on every call: monitors come and go, and xrdb can change
    // Xft.dpi, while the program runs.
    return readDesktopLayout(*connection_, options_.gdkScale ? std::optional<std::string_view>(*options_.gdkScale)
                                                             : std::nullopt);
}

Expected<std::vector<DisplayDescription>, CaptureError> X11ScreenBackend::displays() {
    auto current = layout();
    if (!current) return unexpected(current.error());
    return describeDisplays(*current);
}

Expected<PixelRect, CaptureError> X11ScreenBackend::rootAreaOf(uint32_t displayID, PixelRect area) const {
    auto current = layout();
    if (!current) return unexpected(current.error());
    const X11Monitor* monitor = current->monitorWithID(displayID);
    if (monitor == nullptr) return unexpected(CaptureError::noDisplay());
    if (area.isEmpty()) {
        return unexpected(CaptureError::captureFailed("cannot capture an empty area (" + describeArea(area) + ")"));
    }
    // Callers clip to the display themselves; clipping again here would
    // hand back a smaller image than they asked for without saying so.
    const PixelRect& bounds = monitor->root;
    if (area.x < 0 || area.y < 0 || area.width > bounds.width || area.height > bounds.height ||
        area.x > bounds.width - area.width || area.y > bounds.height - area.height) {
        return unexpected(CaptureError::captureFailed(
            "area " + describeArea(area) + " is not inside display " + monitor->name + " (" +
            std::to_string(monitor->root.width) + "x" + std::to_string(monitor->root.height) + " pixels)"));
    }
    return PixelRect{monitor->root.x + area.x, monitor->root.y + area.y, area.width, area.height};
}

Expected<Image, CaptureError> X11ScreenBackend::captureDisplayArea(uint32_t displayID, PixelRect area) {
    auto rootArea = rootAreaOf(displayID, area);
    if (!rootArea) return unexpected(rootArea.error());
    const xcb_screen_t& screen = connection_->screen();
    auto format = pixels_.formatFor(screen.root_depth, screen.root_visual);
    if (!format) return unexpected(format.error());
    return pixels_.read(connection_->root(), *rootArea, *format);
}

Expected<std::unique_ptr<RegionFrameStream>, CaptureError> X11ScreenBackend::openRegionStream(uint32_t displayID,
                                                                                              PixelRect area,
                                                                                              double framesPerSecond) {
    auto rootArea = rootAreaOf(displayID, area);
    if (!rootArea) return unexpected(rootArea.error());
    return std::unique_ptr<RegionFrameStream>(
        std::make_unique<X11RegionStream>(connection_->displayName(), *rootArea, framesPerSecond));
}

std::optional<CaptureError> X11ScreenBackend::movePointer(Point global) {
    auto current = layout();
    if (!current) return current.error();
    const PixelRect target = current->coordinates.rootPixelAt(global);
    xcb_connection_t* c = connection_->raw();
    xcb_warp_pointer(c, XCB_WINDOW_NONE, connection_->root(), 0, 0, 0, 0, static_cast<int16_t>(target.x),
                     static_cast<int16_t>(target.y));
    connection_->sync();
    if (connection_->isBroken()) return CaptureError::captureFailed(connection_->brokenMessage());
    return std::nullopt;
}

std::optional<CaptureError> X11ScreenBackend::postScroll(int32_t lines) {
    if (!connection_->extensions().xtest) return CaptureError::captureFailed(syntheticInputAccess().detail);
    // Wheel buttons: 4 scrolls towards the top, 5 towards the end. XTEST
    // events carry no field to mark them as ours.
    const uint8_t button = lines < 0 ? 5 : 4;
    xcb_connection_t* c = connection_->raw();
    for (int64_t click = 0; click < std::abs(int64_t{lines}); ++click) {
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    }
    connection_->sync();
    if (connection_->isBroken()) return CaptureError::captureFailed(connection_->brokenMessage());
    return std::nullopt;
}

Expected<std::vector<WindowDescription>, CaptureError> X11ScreenBackend::windows() {
    auto current = layout();
    if (!current) return unexpected(current.error());
    return windows_.list(current->coordinates);
}

Expected<PixelRect, CaptureError> X11ScreenBackend::rootBounds() const {
    xcb_connection_t* c = connection_->raw();
    auto root = waitReply(xcb_get_geometry_reply, c, xcb_get_geometry(c, connection_->root()));
    if (!root) {
        return unexpected(CaptureError::captureFailed(
            connection_->isBroken() ? connection_->brokenMessage() : "cannot read the size of the X root window"));
    }
    return PixelRect{0, 0, root->width, root->height};
}

// A compositing manager redirects every top-level window into its own
// pixmap, which then holds the window's complete contents, including parts
// other windows cover. NameWindowPixmap fails with BadMatch when the window
// is not redirected, which is how we find out whether a compositor runs.
std::optional<Image> X11ScreenBackend::readCompositedWindow(const WindowPlacement& placement) {
    if (!connection_->extensions().composite) return std::nullopt;
    xcb_connection_t* c = connection_->raw();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    if (checkRequest(c, xcb_composite_name_window_pixmap_checked(c, placement.topLevel, pixmap)) != 0 ||
        connection_->isBroken()) {
        return std::nullopt;
    }
    // The pixmap covers the top-level with its border; the client sits
    // somewhere inside it.
    const PixelRect pixmapBounds{0, 0, placement.topLevelOuter.width, placement.topLevelOuter.height};
    const PixelRect inPixmap{placement.root.x - placement.topLevelOuter.x, placement.root.y - placement.topLevelOuter.y,
                             placement.root.width, placement.root.height};
    std::optional<Image> image;
    auto format = pixels_.formatFor(placement.topLevelDepth, placement.topLevelVisual);
    if (auto area = intersect(inPixmap, pixmapBounds); area && format) {
        if (auto pixels = pixels_.read(pixmap, *area, *format)) image = std::move(pixels.value());
    }
    xcb_free_pixmap(c, pixmap);
    xcb_flush(c);
    return image;
}

Expected<Image, CaptureError> X11ScreenBackend::captureWindow(uint32_t windowID) {
    auto placement = locateWindow(*connection_, windowID);
    if (!placement) return unexpected(placement.error());
    if (auto image = readCompositedWindow(*placement)) return std::move(*image);

    // No compositor: the window's pixels exist only where it is visible on
    // the root, so parts covered by other windows show those windows.
    // Redirecting the window ourselves just for the read does not fix that:
    // the server fills the parts that were hidden with the window's
    // background and the client redraws them only when it gets round to its
    // Expose events (an xterm under Xvfb came out with the covered text
    // missing, and a short wait would only make the race less likely).
    // Parts outside the root exist nowhere: the image is the window clipped
    // to the screen.
    auto bounds = rootBounds();
    if (!bounds) return unexpected(bounds.error());
    const auto visible = intersect(placement->root, *bounds);
    if (!visible) {
        return unexpected(CaptureError::captureFailed("window " + std::to_string(windowID) +
                                                      " lies entirely outside the screen"));
    }
    const xcb_screen_t& screen = connection_->screen();
    auto format = pixels_.formatFor(screen.root_depth, screen.root_visual);
    if (!format) return unexpected(format.error());
    return pixels_.read(connection_->root(), *visible, *format);
}

std::optional<Point> X11ScreenBackend::pointerLocation() {
    xcb_connection_t* c = connection_->raw();
    auto pointer = waitReply(xcb_query_pointer_reply, c, xcb_query_pointer(c, connection_->root()));
    if (!pointer || pointer->same_screen == 0) return std::nullopt;
    auto current = layout();
    if (!current) return std::nullopt;
    return current->coordinates.pointToGlobalBottomLeft(pointer->root_x, pointer->root_y);
}

AccessStatus X11ScreenBackend::screenCaptureAccess() {
    if (connection_->isBroken()) return {false, connection_->brokenMessage()};
    // One pixel of the root proves reading works; untrusted clients (ssh -X
    // without -Y) are refused here.
    xcb_connection_t* c = connection_->raw();
    uint8_t errorCode = 0;
    auto pixel = waitReply(xcb_get_image_reply, c,
                           xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, connection_->root(), 0, 0, 1, 1, ~0u),
                           &errorCode);
    if (!pixel) {
        if (connection_->isBroken()) return {false, connection_->brokenMessage()};
        return {false, "X display " + connection_->displayName() + " refuses to let this client read the screen (X error " +
                           std::to_string(errorCode) + ")"};
    }
    return {true, "X11 display " + connection_->displayName()};
}

AccessStatus X11ScreenBackend::syntheticInputAccess() {
    if (connection_->isBroken()) return {false, connection_->brokenMessage()};
    if (!connection_->extensions().xtest) {
        return {false, "X display " + connection_->displayName() + " has no XTEST extension"};
    }
    return {true, "XTEST extension on X11 display " + connection_->displayName()};
}

}  // namespace tessarin::x11
