#pragma once
// Typed reads of one member of a JSON object, with no exceptions: a missing
// member or a value of the wrong type or range reads as nothing.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "core/common/Expected.h"

#include <nlohmann/json.hpp>

namespace tessarin::JsonFields {

// A stored document parsed as hostile input: at most `maxBytes` long and
// `maxDepth` levels deep (checked while parsing, before anything deeper is
// built). The error is a short reason for a log line.
inline Expected<nlohmann::json, std::string> parseBounded(std::string_view text, size_t maxBytes, int maxDepth) {
    if (text.size() > maxBytes) return unexpected("index larger than " + std::to_string(maxBytes) + " bytes");
    bool tooDeep = false;
    const nlohmann::json::parser_callback_t limit = [&tooDeep, maxDepth](int level, nlohmann::json::parse_event_t event,
                                                                        nlohmann::json&) {
        if ((event == nlohmann::json::parse_event_t::object_start ||
             event == nlohmann::json::parse_event_t::array_start) &&
            level > maxDepth) {
            tooDeep = true;
        }
        return !tooDeep;
    };
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text.begin(), text.end(), limit);
    } catch (const nlohmann::json::exception& error) {
        return unexpected(std::string("not JSON: ") + error.what());
    }
    if (tooDeep) return unexpected("nested deeper than " + std::to_string(maxDepth) + " levels");
    return document;
}

inline const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

// A finite number (integer or floating point).
inline std::optional<double> number(const nlohmann::json& object, const char* key) {
    const auto* v = member(object, key);
    if (!v || !v->is_number()) return std::nullopt;
    const double d = v->get<double>();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

inline std::optional<int64_t> integer(const nlohmann::json& object, const char* key) {
    const auto* v = member(object, key);
    if (!v) return std::nullopt;
    if (v->is_number_integer()) {
        if (v->is_number_unsigned() && v->get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max()))
            return std::nullopt;
        return v->get<int64_t>();
    }
    return std::nullopt;
}

inline std::optional<uint32_t> uint32(const nlohmann::json& object, const char* key) {
    const auto i = integer(object, key);
    if (!i || *i < 0 || *i > int64_t{std::numeric_limits<uint32_t>::max()}) return std::nullopt;
    return static_cast<uint32_t>(*i);
}

inline std::optional<std::string> string(const nlohmann::json& object, const char* key) {
    const auto* v = member(object, key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

// A stored enumeration value: an object with exactly one member, named after
// the case, whose value is an object holding the case's fields.
struct EnumCase {
    std::string name;
    const nlohmann::json* payload = nullptr;  // points into the decoded object
};

inline Expected<EnumCase, std::string> enumCase(const nlohmann::json& json) {
    if (!json.is_object()) return unexpected(std::string("expected an object"));
    if (json.size() != 1) return unexpected(std::string("Invalid number of keys found, expected one."));
    // Hold the iterator itself: items() yields proxies that die with the statement.
    const auto only = json.begin();
    if (!only.value().is_object()) return unexpected("\"" + only.key() + "\" is not an object");
    return EnumCase{only.key(), &only.value()};
}

}  // namespace tessarin::JsonFields
