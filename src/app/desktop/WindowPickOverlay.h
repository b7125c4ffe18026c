#pragma once
// The window pick on screen: one window per display over its frozen image;
// the window under the pointer is lit (the client area a window capture
// reads), a click picks it and Escape cancels. Which window is under the
// pointer is decided by topmostPickableWindowAt over the stacking list read
// when the pick began, without our own windows, docks and desktops.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/capture/FrozenScreens.h"
#include "platform/WindowPick.h"

namespace tessarin {

class PickWindow;

class WindowPickOverlay final : public QObject {
public:
    using Done = std::function<void(std::optional<WindowDescription> picked)>;

    WindowPickOverlay(std::vector<DisplayDescription> displays, std::shared_ptr<const FrozenScreens> frozen,
                      std::vector<PickableWindow> windowsTopmostFirst, WindowPickExclusions exclusions, Done done);
    ~WindowPickOverlay() override;

    void show();
    std::vector<uint32_t> windowIds() const;

    // Called by the windows: `global` in global points, bottom-left origin.
    void pointerAt(Point global);
    void pick();
    void cancel();
    const std::optional<WindowDescription>& highlighted() const { return highlighted_; }
    double primaryHeight() const { return primaryHeight_; }

private:
    void finish(std::optional<WindowDescription> picked);

    std::vector<DisplayDescription> displays_;
    std::shared_ptr<const FrozenScreens> frozen_;
    std::vector<PickableWindow> windows_;
    WindowPickExclusions exclusions_;
    std::vector<std::unique_ptr<PickWindow>> views_;
    std::optional<WindowDescription> highlighted_;
    double primaryHeight_ = 0;
    Done done_;
    bool finished_ = false;
};

}  // namespace tessarin
