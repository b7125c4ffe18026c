#include "core/cli/JsonWriter.h"

#include <cmath>

namespace tessarin::JsonWriter {
namespace {

using Json = nlohmann::json;

// nlohmann's own escaping, then "/" as "\/". A slash can only occur inside
// strings in JSON text, so this touches nothing else.
std::string escapedString(const std::string& text) {
    const std::string quoted = Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    std::string out;
    out.reserve(quoted.size() + 8);
    for (char c : quoted) {
        if (c == '/') out += '\\';
        out += c;
    }
    return out;
}

bool encodable(const Json& value) {
    if (value.is_number_float()) return std::isfinite(value.get<double>());
    if (value.is_array() || value.is_object()) {
        for (const auto& element : value) {
            if (!encodable(element)) return false;
        }
    }
    return true;
}

std::string scalar(const Json& value) {
    if (value.is_string()) return escapedString(value.get<std::string>());
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (d == std::trunc(d) && std::abs(d) < 1e15) return std::to_string(static_cast<long long>(d));
    }
    return value.dump();
}

void write(const Json& value, std::string& out, int indent, int depth) {
    const bool pretty = indent > 0;
    const auto newline = [&](int level) {
        if (!pretty) return;
        out += '\n';
        out.append(size_t(indent * level), ' ');
    };
    if (value.is_object()) {
        if (value.empty()) {
            out += "{}";
            return;
        }
        out += '{';
        bool first = true;
        for (const auto& [key, member] : value.items()) {  // std::map: sorted keys
            if (!first) out += ',';
            first = false;
            newline(depth + 1);
            out += escapedString(key);
            out += pretty ? " : " : ":";
            write(member, out, indent, depth + 1);
        }
        newline(depth);
        out += '}';
    } else if (value.is_array()) {
        if (value.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        bool first = true;
        for (const auto& element : value) {
            if (!first) out += ',';
            first = false;
            newline(depth + 1);
            write(element, out, indent, depth + 1);
        }
        newline(depth);
        out += ']';
    } else {
        out += scalar(value);
    }
}

std::optional<std::string> encode(const Json& value, int indent) {
    if (!encodable(value)) return std::nullopt;
    std::string out;
    write(value, out, indent, 0);
    return out;
}

}  // namespace

std::optional<std::string> compact(const nlohmann::json& value) { return encode(value, 0); }
std::optional<std::string> pretty(const nlohmann::json& value) { return encode(value, 2); }

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t point = 0;
        if ((byte & 0xE0) == 0xC0) length = 2, point = byte & 0x1F;
        else if ((byte & 0xF0) == 0xE0) length = 3, point = byte & 0x0F;
        else if ((byte & 0xF8) == 0xF0) length = 4, point = byte & 0x07;
        else return false;
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace tessarin::JsonWriter
