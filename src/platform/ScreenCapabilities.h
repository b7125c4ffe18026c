#pragma once
// What a screen back end can do at all, advertised up front so the
// application offers only what works (a portal back end captures displays
// and lets the user pick an area, but lists no windows and sends no input).
// Whether this process may use it right now is a separate question
// (ScreenBackend::screenCaptureAccess and syntheticInputAccess).

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

enum class ScreenCapability : uint8_t {
    displayCapture,       // whole displays
    regionCapture,        // any area of one display
    windowCapture,        // one window's own pixels, found by listing windows
    interactiveAreaPick,  // the back end lets the user pick the area itself
    regionStream,         // repeated grabs of one area (scrolling capture)
    syntheticScroll,      // scroll events and pointer moves sent to other windows
    pointerPosition,      // where the pointer is
};

inline constexpr ScreenCapability kAllScreenCapabilities[] = {
    ScreenCapability::displayCapture,      ScreenCapability::regionCapture, ScreenCapability::windowCapture,
    ScreenCapability::interactiveAreaPick, ScreenCapability::regionStream,  ScreenCapability::syntheticScroll,
    ScreenCapability::pointerPosition};

constexpr std::string_view screenCapabilityName(ScreenCapability capability) {
    switch (capability) {
        case ScreenCapability::displayCapture: return "display-capture";
        case ScreenCapability::regionCapture: return "region-capture";
        case ScreenCapability::windowCapture: return "window-capture";
        case ScreenCapability::interactiveAreaPick: return "interactive-area-pick";
        case ScreenCapability::regionStream: return "region-stream";
        case ScreenCapability::syntheticScroll: return "synthetic-scroll";
        case ScreenCapability::pointerPosition: return "pointer-position";
    }
    return "unknown";
}

class ScreenCapabilities {
public:
    constexpr ScreenCapabilities() = default;
    constexpr ScreenCapabilities(std::initializer_list<ScreenCapability> capabilities) {
        for (const auto capability : capabilities) bits_ |= bit(capability);
    }

    constexpr bool has(ScreenCapability capability) const { return (bits_ & bit(capability)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr ScreenCapabilities with(ScreenCapability capability) const { return fromBits(bits_ | bit(capability)); }
    constexpr ScreenCapabilities without(ScreenCapability capability) const {
        return fromBits(bits_ & ~bit(capability));
    }

    // In declaration order, for diagnostics.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto capability : kAllScreenCapabilities) {
            if (has(capability)) found.emplace_back(screenCapabilityName(capability));
        }
        return found;
    }

    friend constexpr bool operator==(ScreenCapabilities, ScreenCapabilities) = default;

private:
    static constexpr uint32_t bit(ScreenCapability capability) { return 1u << static_cast<unsigned>(capability); }
    static constexpr ScreenCapabilities fromBits(uint32_t bits) {
        ScreenCapabilities capabilities;
        capabilities.bits_ = bits;
        return capabilities;
    }
    uint32_t bits_ = 0;
};

}  // namespace tessarin
