#pragma once
// Local times in the date patterns of file names ("yyyy-MM-dd 'at' HH.mm.ss").

#include <ctime>
#include <string>
#include <string_view>

namespace tessarin {

// Formats a local time with a date pattern: yyyy, MM, dd, HH, mm and ss are
// fields, text in single quotes ('' is a quote) and any other character are
// copied.
std::string formatDate(std::string_view pattern, const std::tm& time);

}  // namespace tessarin
