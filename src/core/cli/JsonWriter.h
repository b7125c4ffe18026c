#pragma once
// The agent's JSON: keys sorted, UTF-8, forward slashes escaped as \/ and
// integers without a fraction. Compact for result, warning and error lines;
// pretty (two-space indent, " : " between key and value) for list-targets.

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tessarin::JsonWriter {

// None when the value cannot be encoded.
std::optional<std::string> compact(const nlohmann::json& value);
std::optional<std::string> pretty(const nlohmann::json& value);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF): exactly the strings JSON carries unchanged.
bool isValidUtf8(std::string_view text);

}  // namespace tessarin::JsonWriter
