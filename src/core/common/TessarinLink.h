#pragma once
// Whether a text is a tessarin: link. The scheme compares without regard to
// case, as URL schemes do ("TESSARIN://capture-area" is a link).

#include <string_view>

namespace tessarin {

inline constexpr std::string_view tessarinLinkScheme = "tessarin:";

constexpr bool isTessarinLink(std::string_view text) {
    if (text.size() < tessarinLinkScheme.size()) return false;
    for (size_t i = 0; i < tessarinLinkScheme.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tessarinLinkScheme[i]) return false;
    }
    return true;
}

}  // namespace tessarin
