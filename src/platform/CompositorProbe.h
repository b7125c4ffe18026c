#pragma once
// Whether a compositing manager draws the screen. Only then can an overlay
// be translucent over the live screen; without one it shows a frozen image
// of the screen instead.

namespace tessarin {

class CompositorProbe {
public:
    virtual ~CompositorProbe() = default;
    // Asked each time: a compositor can start and stop while we run.
    virtual bool compositing() = 0;
};

class NullCompositorProbe final : public CompositorProbe {
public:
    bool compositing() override { return false; }
};

}  // namespace tessarin
