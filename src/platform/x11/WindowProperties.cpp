#include "platform/x11/WindowProperties.h"

#include <cstdint>

namespace tessarin::x11 {

std::optional<WmClass> parseWmClass(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    const size_t end = bytes.find('\0');
    WmClass result;
    result.instance = latin1ToUtf8(bytes.substr(0, end));
    if (end != std::string_view::npos) {
        const std::string_view rest = bytes.substr(end + 1);
        result.className = latin1ToUtf8(rest.substr(0, rest.find('\0')));
    }
    return result;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xc0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3f)));
        }
    }
    return out;
}

std::string decodeTextProperty(std::string_view bytes, bool isUtf8) {
    while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    return isUtf8 ? std::string(bytes) : latin1ToUtf8(bytes);
}

std::string trimProcessName(std::string_view comm) {
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.remove_suffix(1);
    return std::string(comm);
}

}  // namespace tessarin::x11
