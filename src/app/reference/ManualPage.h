#pragma once
// The manual page tessarin(1), in man(7) roff.

#include <string>
#include <string_view>

#include "app/reference/ReferenceFacts.h"

namespace tessarin {

// `text` as roff prose: backslashes and dashes escaped, a leading control
// character neutralised, anything beyond ASCII as a \[uXXXX] glyph.
std::string roffEscaped(std::string_view text);

std::string manualPage(const ReferenceFacts& facts);

}  // namespace tessarin
