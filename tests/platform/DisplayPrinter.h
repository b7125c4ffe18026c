#pragma once
// Readable failure messages for displays compared whole.

#include <ostream>
#include <string>

#include "platform/ScreenBackend.h"

namespace tessarin {

inline void PrintTo(const Rect& r, std::ostream* out) {
    *out << r.width << "x" << r.height << "@" << r.x << "," << r.y;
}

inline void PrintTo(const DisplayDescription& d, std::ostream* out) {
    *out << d.name << " id " << (d.displayID ? std::to_string(*d.displayID) : "none") << " frame ";
    PrintTo(d.frame, out);
    *out << " visible ";
    PrintTo(d.visibleFrame, out);
    *out << " scale " << d.scale << " " << d.pixelWidth << "x" << d.pixelHeight << " pixels"
         << (d.primary ? " primary" : "");
}

}  // namespace tessarin
