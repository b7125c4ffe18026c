#include "app/desktop/OwnWindows.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace tessarin {

std::vector<uint32_t> ownWindowsToHide() {
    // The tray icon lives in the panel and stays; it is Qt's own window, so
    // it cannot carry our mark and is found by its class.
    std::vector<const QWindow*> trayIcons;
    for (const QWidget* widget : QApplication::topLevelWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0 && widget->windowHandle()) {
            trayIcons.push_back(widget->windowHandle());
        }
    }
    std::vector<uint32_t> ids;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (!window->handle() || !window->isVisible()) continue;
        if (window->property(kStaysOnScreenProperty).toBool()) continue;
        if (std::find(trayIcons.begin(), trayIcons.end(), window) != trayIcons.end()) continue;
        ids.push_back(static_cast<uint32_t>(window->winId()));
    }
    return ids;
}

}  // namespace tessarin
