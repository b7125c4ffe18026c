#pragma once
// The number of user-perceived characters in UTF-8 text: a base character
// with its combining marks, a CR LF pair, an emoji sequence joined by ZWJ or
// carrying modifiers, and a pair of regional indicators (a flag) each count
// once. A close approximation of Unicode's extended grapheme clusters that
// covers what recognised text and typed input hold; a byte that is not valid
// UTF-8 counts as one character.

#include <cstddef>
#include <string_view>

namespace tessarin {

size_t graphemeCount(std::string_view utf8);

}  // namespace tessarin
