#pragma once
// A window's frame kept across runs under its autosave name, in the
// preference store as {"x": .., "y": .., "width": .., "height": ..} (desktop
// pixels) under the key "windowFrame" + name.
//
// The stored value is untrusted: anything but four finite numbers, a size
// below the window's minimum or absurdly large, or a frame that no screen
// shows enough of to grab (a monitor was unplugged) is ignored, and the
// window opens at its default place: centred on the first screen, shrunk
// to fit it.

#include <optional>
#include <string>
#include <vector>

#include "core/history/HistoryGridLayout.h"
#include "core/preferences/KeyValueStore.h"

namespace tessarin {

class WindowFrameAutosave {
public:
    static constexpr int maxSide = 16384;
    // How much of the window must stay on some screen to count as shown.
    static constexpr int minVisible = 48;

    WindowFrameAutosave(KeyValueStore& store, std::string autosaveName)
        : store_(store), key_("windowFrame" + std::move(autosaveName)) {}

    const std::string& key() const { return key_; }

    // The stored frame when it is usable on these screens.
    std::optional<GridRect> stored(const std::vector<GridRect>& screens, int minWidth, int minHeight) const;
    // The stored frame, else the default place for `preferred`.
    GridRect frame(const std::vector<GridRect>& screens, GridRect preferred, int minWidth, int minHeight) const;
    void save(const GridRect& frame);

    static GridRect defaultFrame(const std::vector<GridRect>& screens, GridRect preferred);

private:
    KeyValueStore& store_;
    std::string key_;
};

}  // namespace tessarin
