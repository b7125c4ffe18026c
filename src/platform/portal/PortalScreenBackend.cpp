#include "platform/portal/PortalScreenBackend.h"

#include <gio/gio.h>

#include <algorithm>

#include "core/common/Log.h"
#include "platform/portal/LayoutImageCrop.h"
#include "platform/x11/X11Displays.h"  // fnv1a32: display ids are hashes of output names
#include "render/ImageDecoder.h"
#include "render/PngCheck.h"

namespace tessarin::portal {
namespace {

using Clock = std::chrono::steady_clock;

std::string describeArea(PixelRect r) {
    return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
           std::to_string(r.y);
}

const WaylandOutput* outputWithID(const std::vector<WaylandOutput>& outputs, uint32_t displayID) {
    const auto found = std::find_if(outputs.begin(), outputs.end(), [displayID](const WaylandOutput& o) {
        return !o.name.empty() && x11::fnv1a32(o.name) == displayID;
    });
    return found == outputs.end() ? nullptr : &*found;
}

OutputPlacement placementOf(const WaylandOutput& output) {
    return {{output.x, output.y, output.logicalWidth, output.logicalHeight}, outputPixelWidth(output),
            outputPixelHeight(output)};
}

std::vector<OutputPlacement> sizedPlacements(const std::vector<WaylandOutput>& outputs) {
    std::vector<OutputPlacement> placements;
    for (const WaylandOutput& output : outputs) {
        const OutputPlacement placement = placementOf(output);
        if (!placement.logical.isEmpty() && placement.pixelWidth > 0 && placement.pixelHeight > 0) {
            placements.push_back(placement);
        }
    }
    return placements;
}

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

std::string missingScreenshotPortalMessage() {
    return "no Screenshot portal answers on the session bus: install xdg-desktop-portal and the back end for your "
           "desktop (xdg-desktop-portal-wlr for sway and other wlroots compositors, xdg-desktop-portal-gnome for "
           "GNOME, xdg-desktop-portal-kde for Plasma)";
}

CaptureError captureErrorFor(const PortalError& error, const std::string& what) {
    logLine(LogLevel::debug, LogCategory::capture,
            "portal.error what=\"" + what + "\" kind=" + std::string(portalErrorKindName(error.kind)) + " detail=\"" +
                error.message + "\"");
    switch (error.kind) {
        // Without interaction the only question a non-interactive request asks
        // is whether it may: a cancel is a refusal too.
        case PortalError::Kind::denied:
        case PortalError::Kind::cancelled: return CaptureError::permissionDenied();
        case PortalError::Kind::missingPortal: return CaptureError::captureFailed(missingScreenshotPortalMessage());
        case PortalError::Kind::noBus:
        case PortalError::Kind::timedOut:
        case PortalError::Kind::failed: return CaptureError::captureFailed(error.message);
    }
    return CaptureError::captureFailed(error.message);
}

Expected<std::shared_ptr<PortalConnection>, PortalError> PortalScreenBackend::connection() {
    const std::lock_guard lock(connectionMutex_);
    if (connection_) return connection_;
    auto opened = PortalConnection::open();
    if (!opened) return unexpected(opened.error());
    connection_ = opened.value();
    return connection_;
}

Expected<std::vector<WaylandOutput>, CaptureError> PortalScreenBackend::outputs() {
    // Outputs come and go while the program runs, so they are read afresh,
    // but not again within one capture: listing the displays, choosing one
    // and cutting the screenshot all ask within a few milliseconds.
    const std::lock_guard lock(outputsMutex_);
    const auto now = Clock::now();
    if (outputsRead_ && now - outputsReadAt_ < kOutputsReuse) return *outputsRead_;
    auto outputs = readWaylandOutputs(options_.waylandDisplay, options_.outputsTimeout);
    if (!outputs) return unexpected(CaptureError::captureFailed(outputs.error()));
    outputsRead_ = std::move(outputs.value());
    outputsReadAt_ = now;
    return *outputsRead_;
}

Expected<std::vector<DisplayDescription>, CaptureError> PortalScreenBackend::displays() {
    auto current = outputs();
    if (!current) return unexpected(current.error());
    auto displays = describeWaylandOutputs(*current);
    if (displays.empty()) return unexpected(CaptureError::noDisplay());
    return displays;
}

Expected<PortalScreenBackend::Target, CaptureError> PortalScreenBackend::target(uint32_t displayID, PixelRect area) {
    auto current = outputs();
    if (!current) return unexpected(current.error());
    const WaylandOutput* output = outputWithID(*current, displayID);
    if (output == nullptr) return unexpected(CaptureError::noDisplay());
    const OutputPlacement placement = placementOf(*output);
    // Checked before asking the portal, which may show the user a question.
    if (area.isEmpty() || area.x < 0 || area.y < 0 || area.x + area.width > placement.pixelWidth ||
        area.y + area.height > placement.pixelHeight) {
        return unexpected(CaptureError::captureFailed("area " + describeArea(area) + " is not inside display " +
                                                      output->name + " (" + std::to_string(placement.pixelWidth) +
                                                      "x" + std::to_string(placement.pixelHeight) + " pixels)"));
    }
    const auto placements = sizedPlacements(*current);
    const bool wholeLayout = placements.size() == 1 && area.x == 0 && area.y == 0 &&
                             area.width == placement.pixelWidth && area.height == placement.pixelHeight;
    return Target{placement, layoutBounds(placements), area, wholeLayout};
}

Expected<Image, CaptureError> PortalScreenBackend::decodeLayout(const Screenshot& shot) {
    auto layout = decodeImage(shot.bytes);
    if (!layout) {
        return unexpected(CaptureError::captureFailed(std::string(CaptureMessages::decodeFailed) + " " + shot.file +
                                                      ": " + layout.error().message));
    }
    return std::move(layout.value());
}

Expected<Image, CaptureError> PortalScreenBackend::captureDisplayArea(uint32_t displayID, PixelRect area) {
    auto images = captureDisplayAreas({{displayID, area}});
    if (!images) return unexpected(images.error());
    return std::move(images->front());
}

Expected<std::vector<Image>, CaptureError> PortalScreenBackend::captureDisplayAreas(
    const std::vector<DisplayArea>& areas) {
    std::vector<Target> targets;
    for (const DisplayArea& wanted : areas) {
        auto where = target(wanted.displayID, wanted.area);
        if (!where) return unexpected(where.error());
        targets.push_back(*where);
    }
    if (targets.empty()) return std::vector<Image>{};
    // One screenshot of the whole layout serves every area.
    auto shot = screenshot();
    if (!shot) return unexpected(shot.error());
    auto layout = decodeLayout(*shot);
    if (!layout) return unexpected(layout.error());
    std::vector<Image> images;
    for (const Target& where : targets) {
        // The last area may take the picture itself (no copy for a lone output taken whole).
        auto cropped = &where == &targets.back()
                           ? cropOutputArea(std::move(*layout), where.bounds, where.placement, where.area)
                           : cropOutputArea(*layout, where.bounds, where.placement, where.area);
        if (!cropped) return unexpected(CaptureError::captureFailed(cropped.error()));
        images.push_back(std::move(cropped.value()));
    }
    return images;
}

Expected<FileCapture, CaptureError> PortalScreenBackend::captureDisplayForFile(uint32_t displayID, PixelRect area) {
    auto where = target(displayID, area);
    if (!where) return unexpected(where.error());
    auto shot = screenshot();
    if (!shot) return unexpected(shot.error());
    if (where->wholeLayout) {
        // The portal's file is already the display, pixel for pixel: it goes
        // out as it is when it is whole and of the display's size.
        const auto header = checkIntactPng(shot->bytes);
        if (header && int64_t{header->width} == where->area.width && int64_t{header->height} == where->area.height) {
            const uint32_t width = header->width, height = header->height;
            return FileCapture(EncodedPNG{std::move(shot->bytes), width, height});
        }
        logLine(LogLevel::debug, LogCategory::capture,
                "portal.screenshot passthrough=no reason=\"" +
                    (header ? "size " + std::to_string(header->width) + "x" + std::to_string(header->height) +
                                  " is not the display's"
                            : header.error()) +
                    "\"");
    }
    auto layout = decodeLayout(*shot);
    if (!layout) return unexpected(layout.error());
    auto cropped = cropOutputArea(std::move(*layout), where->bounds, where->placement, where->area);
    if (!cropped) return unexpected(CaptureError::captureFailed(cropped.error()));
    return FileCapture(std::move(cropped.value()));
}

Expected<PortalScreenBackend::Screenshot, CaptureError> PortalScreenBackend::screenshot() {
    const auto start = Clock::now();
    auto bus = connection();
    if (!bus) return unexpected(captureErrorFor(bus.error(), "screenshot"));
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(FALSE));
    g_variant_builder_add(&options, "{sv}", "modal", g_variant_new_boolean(FALSE));
    auto results = callRequest(**bus, kScreenshotInterface, "Screenshot", g_variant_new("(sa{sv})", "", &options),
                               options_.screenshotTimeout);
    if (!results) return unexpected(captureErrorFor(results.error(), "screenshot"));
    const char* uri = nullptr;
    if (!g_variant_lookup(results->get(), "uri", "&s", &uri)) {
        return unexpected(CaptureError::captureFailed("the Screenshot portal answered without an image"));
    }
    char* path = g_filename_from_uri(uri, nullptr, nullptr);
    if (path == nullptr) {
        return unexpected(
            CaptureError::captureFailed(std::string("the Screenshot portal's image is not a local file: ") + uri));
    }
    Screenshot shot{path, {}};
    g_free(path);
    logLine(LogLevel::debug, LogCategory::capture,
            "portal.screenshot ms=" + std::to_string(millisecondsSince(start)) + " uri=" + uri);
    auto bytes = readImageFile(shot.file);
    if (!bytes) {
        return unexpected(CaptureError::captureFailed(std::string(CaptureMessages::decodeFailed) + " " + shot.file +
                                                      ": " + bytes.error().message));
    }
    shot.bytes = std::move(bytes.value());
    return shot;
}

AccessStatus PortalScreenBackend::screenCaptureAccess() {
    auto current = outputs();
    if (!current) return {false, current.error().message()};
    auto bus = connection();
    if (!bus) return {false, bus.error().message};
    auto version = readProperty(**bus, kScreenshotInterface, "version", options_.outputsTimeout);
    if (!version) {
        if (version.error().kind == PortalError::Kind::missingPortal) return {false, missingScreenshotPortalMessage()};
        return {false, version.error().message};
    }
    const uint32_t number = g_variant_is_of_type(version->get(), G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(version->get()) : 0;
    return {true, "Screenshot portal version " + std::to_string(number) + " on a Wayland session"};
}

}  // namespace tessarin::portal
