#pragma once
// The tray icon and its menu: a thin view over the application's menu rows
// (StatusBarMenu.h). The rows' shortcut texts are refreshed each time the
// menu opens, and the icon shows when a capture owns the screen.

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

#include "core/shell/TessarinApp.h"

namespace tessarin {

class TrayIcon final : public QObject {
public:
    explicit TrayIcon(TessarinApp& app);
    ~TrayIcon() override;

    bool hostAvailable() const;

private:
    void buildMenu();
    void refreshMenu();
    void refreshIcon();

    TessarinApp& app_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    std::vector<QAction*> actions_;  // one per row, separators included
    Subscription stateSubscription_;
    Subscription shortcutSubscription_;
};

// The icons, drawn rather than loaded, so they are sharp at any tray size.
QIcon trayIdleIcon();
QIcon trayCapturingIcon();
QIcon applicationIcon();
// For windows no taskbar or switcher shows (overlays, thumbnails, pins):
// one small image. Every image of a window's icon travels to the X server
// with each new window, and the full set is hundreds of kilobytes.
QIcon smallWindowIcon();

}  // namespace tessarin
