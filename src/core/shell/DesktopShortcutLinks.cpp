#include "core/shell/DesktopShortcutLinks.h"

#include "core/shell/StatusBarMenu.h"

namespace tessarin {

std::string_view shortcutLink(ShortcutName name) {
    switch (name) {
        case ShortcutName::captureArea: return "tessarin://capture-area";
        case ShortcutName::captureFullScreen: return "tessarin://capture-fullscreen";
        case ShortcutName::captureAllInOne: return "tessarin://all-in-one";
        case ShortcutName::capturePreviousArea: return "tessarin://capture-previous-area";
        case ShortcutName::captureScrolling: return "tessarin://scrolling-capture";
        case ShortcutName::captureWindow: return "tessarin://capture-window";
        case ShortcutName::recordVideo: return "tessarin://record-screen";
    }
    return "tessarin://all-in-one";
}

std::vector<DesktopShortcutBinding> desktopShortcutBindings() {
    std::vector<DesktopShortcutBinding> bindings;
    for (const ShortcutName name : allShortcutNames) {
        bindings.push_back({name, menuTitle(menuActionOf(name)), "tessarin " + std::string(shortcutLink(name))});
    }
    return bindings;
}

}  // namespace tessarin
