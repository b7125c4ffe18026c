#pragma once
// The displays and windows the agent can name, as `list-targets` prints them.

#include <cstdint>
#include <string>
#include <vector>

namespace tessarin {

struct AgentTargetList {
    struct Display {
        int64_t index = 0;  // position in the platform's display list (what --display takes)
        uint32_t displayID = 0;
        int64_t width = 0;  // device pixels
        int64_t height = 0;
    };
    struct Window {
        uint32_t windowID = 0;
        std::string app;
        std::string title;
        int64_t x = 0;  // global points, top-left origin
        int64_t y = 0;
        int64_t width = 0;
        int64_t height = 0;
    };
    std::vector<Display> displays;
    std::vector<Window> windows;
};

}  // namespace tessarin
