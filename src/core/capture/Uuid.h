#pragma once
// Random (version 4) UUIDs in their usual text form, upper case:
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F". Ids of history items and pins are
// such strings, and they name files, so text read back from disk is checked
// with isUUIDString before it is used to build a path.

#include <string>
#include <string_view>

namespace tessarin {

std::string newUUIDString();

// 36 characters: 8-4-4-4-12 hexadecimal digits (either case) and hyphens.
bool isUUIDString(std::string_view text);

}  // namespace tessarin
