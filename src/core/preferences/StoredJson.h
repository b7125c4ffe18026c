#pragma once
// Structured preference values (the capture preset, the previous selection)
// are stored as JSON objects. Other writers have stored the same JSON as
// text, so a string holding JSON text is read as the value it spells.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tessarin {

inline std::optional<nlohmann::json> storedJsonValue(const std::optional<nlohmann::json>& stored) {
    if (!stored) return std::nullopt;
    if (!stored->is_string()) return stored;
    auto parsed = nlohmann::json::parse(stored->get_ref<const std::string&>(), nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

}  // namespace tessarin
