#pragma once
// What `doctor` tells about the screen back end beyond the two access
// questions: the names of those questions on this platform, which back end
// runs, what it relies on (the desktop portals of a Wayland session), and
// what to do about anything missing.

#include <string>
#include <vector>

namespace tessarin {

struct BackendDescription {
    std::string captureLabel = "screen recording (X11)";
    std::string inputLabel = "accessibility (XTEST)";
    struct Detail {
        std::string label;
        std::string value;
        friend bool operator==(const Detail&, const Detail&) = default;
    };
    std::vector<Detail> details;       // "back end", then e.g. one line per portal
    std::vector<std::string> hints;    // what to do about something missing; shown always
    std::vector<std::string> noCaptureHint = {  // shown when screen capture is not possible
        "capture-* needs an X display. Set DISPLAY to a running X server",
        "  (or run under Xvfb), or run in a Wayland session with its desktop portals."};
};

}  // namespace tessarin
