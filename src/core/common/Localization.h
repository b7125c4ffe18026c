#pragma once
// The one lookup every user-visible text passes through: alerts, the words
// in file names ("Screenshot") and the date pattern of file names. A table
// maps each English text to the user's language; English is built in (the
// empty table), and a text missing from the table stays English.

#include <map>
#include <string>
#include <string_view>

namespace tessarin {

using LocalizationTable = std::map<std::string, std::string, std::less<>>;

std::string localized(std::string_view text);

// Replaces the active table (process-wide, set once at start-up or by
// tests); returns the previous one.
LocalizationTable setLocalizationTable(LocalizationTable table);

}  // namespace tessarin
