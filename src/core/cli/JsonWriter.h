#pragma once
// The agent's JSON: keys sorted, UTF-8, forward slashes escaped as \/ and
// integers without a fraction. Compact for result, warning and error lines;
// pretty (two-space indent, " : " between key and value) for list-targets.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tessarin::JsonWriter {

// None when the value cannot be encoded.
std::optional<std::string> compact(const nlohmann::json& value);
std::optional<std::string> pretty(const nlohmann::json& value);

}  // namespace tessarin::JsonWriter
