#pragma once
// The one lookup every user-visible text passes through. English is built in
// and is the identity; other languages add tables here.

#include <string>
#include <string_view>

namespace tessarin {

inline std::string localized(std::string_view text) { return std::string(text); }

}  // namespace tessarin
