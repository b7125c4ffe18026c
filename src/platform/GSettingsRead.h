#pragma once
// One key of the desktop's GSettings database, as read for the first-run
// guide (GNOME's screenshot key bindings). Absent schemas and keys are
// answers, not failures: the desktop may simply not be installed.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

struct GSettingsRead {
    enum class Kind { noSchema, noKey, strings, unreadable };
    Kind kind = Kind::noSchema;
    std::vector<std::string> strings;  // a string key reads as one element
};
using GSettingsLookup = std::function<GSettingsRead(std::string_view schema, std::string_view key)>;

}  // namespace tessarin
