#include "platform/ShortcutGrabberFactory.h"

#include "core/common/Log.h"
#include "platform/PlatformChoice.h"
#include "platform/x11/X11GlobalShortcutGrabber.h"

namespace tessarin {

namespace {

std::unique_ptr<GlobalShortcutGrabber> nullGrabber(std::string reason, std::string* whyNot) {
    logLine(LogLevel::debug, LogCategory::capture, "shortcuts.grabber name=null reason=\"" + reason + "\"");
    if (whyNot != nullptr) *whyNot = reason;
    return std::make_unique<NullGlobalShortcutGrabber>(std::move(reason));
}

// The screen's reasons speak of images; these of keys.
std::string shortcutsReason(const std::string& screenReason) {
    if (screenReason == "screen capture disabled (TESSARIN_PLATFORM=null)") {
        return "global shortcuts disabled (TESSARIN_PLATFORM=null)";
    }
    return screenReason;
}

}  // namespace

std::unique_ptr<GlobalShortcutGrabber> makeGlobalShortcutGrabber(std::string* whyNot) {
    const PlatformChoice choice = choosePlatform(processEnvironment());
    if (choice.kind == PlatformChoice::Kind::null) return nullGrabber(shortcutsReason(choice.reason), whyNot);
    if (choice.kind == PlatformChoice::Kind::portal) return nullGrabber(std::string(kWaylandShortcutsReason), whyNot);
    auto grabber = x11::X11GlobalShortcutGrabber::open(choice.display);
    if (!grabber) return nullGrabber(grabber.error(), whyNot);
    logLine(LogLevel::debug, LogCategory::capture, "shortcuts.grabber name=x11 display=" + choice.display);
    if (whyNot != nullptr) whyNot->clear();
    return std::move(grabber.value());
}

std::unique_ptr<GlobalShortcutGrabber> makeDesktopShortcutGrabber(std::vector<PortalShortcutOffer> offered,
                                                                  std::string& whyNot, bool& throughDesktop) {
    throughDesktop = false;
    if (choosePlatform(processEnvironment()).kind != PlatformChoice::Kind::portal) return makeGlobalShortcutGrabber(&whyNot);
    if (auto portal = PortalShortcutGrabber::open(std::move(offered), &whyNot)) return portal;
    throughDesktop = true;
    return std::make_unique<NullGlobalShortcutGrabber>(whyNot);
}

}  // namespace tessarin
