#include "core/preferences/PreferencesDocument.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace tessarin::PreferencesDocument {
namespace {

// Offset of the first byte that does not start a well-formed UTF-8 sequence
// (overlong forms, surrogates and code points above U+10FFFF included).
std::optional<std::size_t> firstInvalidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        uint32_t codePoint = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07u;
        } else {
            return i;
        }
        if (text.size() - i < length) return i;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return i;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 2 && codePoint < 0x80) || (length == 3 && codePoint < 0x800) ||
                              (length == 4 && codePoint < 0x10000);
        if (overlong || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return i;
        i += length;
    }
    return std::nullopt;
}

// Deepest array/object nesting in JSON text, counting brackets outside strings.
int nestingDepth(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

int nestingDepth(const nlohmann::json& value, int depth = 0) {
    if (!value.is_structured() || depth > maxDepth) return depth;
    int deepest = depth + 1;
    for (const auto& child : value) deepest = std::max(deepest, nestingDepth(child, depth + 1));
    return deepest;
}

}  // namespace

Expected<nlohmann::json, std::string> parse(std::string_view bytes) {
    if (bytes.size() > maxBytes) {
        return unexpected("larger than " + std::to_string(maxBytes) + " bytes");
    }
    if (const auto bad = firstInvalidUtf8(bytes)) {
        return unexpected("not UTF-8 (byte " + std::to_string(*bad) + ")");
    }
    if (nestingDepth(bytes) > maxDepth) {
        return unexpected("nested deeper than " + std::to_string(maxDepth) + " levels");
    }
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(bytes);
    } catch (const nlohmann::json::parse_error& e) {
        return unexpected("not JSON (byte " + std::to_string(e.byte) + ")");
    }
    if (!document.is_object()) return unexpected(std::string("not a JSON object"));
    return document;
}

Expected<std::string, std::string> serialize(const nlohmann::json& document) {
    if (nestingDepth(document) > maxDepth) {
        return unexpected("nested deeper than " + std::to_string(maxDepth) + " levels");
    }
    std::string text;
    try {
        text = document.dump(2);
    } catch (const nlohmann::json::type_error&) {
        return unexpected(std::string("holds a string that is not UTF-8"));
    }
    text += '\n';
    if (text.size() > maxBytes) return unexpected("larger than " + std::to_string(maxBytes) + " bytes");
    return text;
}

}  // namespace tessarin::PreferencesDocument
