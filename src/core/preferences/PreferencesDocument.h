#pragma once
// The bytes of the preferences file and back. The file is edited by people
// and written by more than one process, so everything read from it is checked
// before it is trusted: a size cap, strict UTF-8, a nesting limit (deep
// nesting would exhaust the stack when values are copied or written out) and
// a JSON object at the top.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/common/Expected.h"

namespace tessarin::PreferencesDocument {

inline constexpr std::size_t maxBytes = 4 * 1024 * 1024;
inline constexpr int maxDepth = 64;

// The top-level object, or why the bytes cannot be one.
Expected<nlohmann::json, std::string> parse(std::string_view bytes);

// The text written to disk: indented for people who open the file, and
// refused when it would not read back (over maxBytes, strings that are not
// UTF-8, nesting beyond maxDepth).
Expected<std::string, std::string> serialize(const nlohmann::json& document);

}  // namespace tessarin::PreferencesDocument
