#include "app/desktop/QtWindowing.h"

#include <QGuiApplication>

namespace tessarin {

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
