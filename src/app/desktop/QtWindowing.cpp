#include "app/desktop/QtWindowing.h"

#include <QGuiApplication>

#include "platform/PlatformChoice.h"

namespace tessarin {

void chooseQtPlatformForSession() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    if (choosePlatform(processEnvironment()).kind != PlatformChoice::Kind::portal) return;
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
}

bool compositorPlacesWindows() {
    static const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    return wayland;
}

void showCovering(QWindow& window, QScreen* screen) {
    if (!compositorPlacesWindows()) {
        window.show();
        window.raise();
        return;
    }
    // The output is named by the window's screen when it asks for full
    // screen; its size comes from the compositor's configure.
    if (screen) window.setScreen(screen);
    window.showFullScreen();
    window.requestActivate();
}

}  // namespace tessarin
