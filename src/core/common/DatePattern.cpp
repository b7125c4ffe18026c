#include "core/common/DatePattern.h"

#include <string>

namespace tessarin {

namespace {

std::string twoDigits(int value) {
    const std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

}  // namespace

std::string formatDate(std::string_view pattern, const std::tm& time) {
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            // Quoted text; '' inside or outside quotes is one quote.
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            for (++i; i < pattern.size(); ++i) {
                if (pattern[i] != '\'') {
                    out += pattern[i];
                } else if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                    out += '\'';
                    ++i;
                } else {
                    break;
                }
            }
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        switch (c) {
            case 'y': out += run == 2 ? twoDigits((time.tm_year + 1900) % 100) : std::to_string(time.tm_year + 1900); break;
            case 'M': out += run >= 2 ? twoDigits(time.tm_mon + 1) : std::to_string(time.tm_mon + 1); break;
            case 'd': out += run >= 2 ? twoDigits(time.tm_mday) : std::to_string(time.tm_mday); break;
            case 'H': out += run >= 2 ? twoDigits(time.tm_hour) : std::to_string(time.tm_hour); break;
            case 'm': out += run >= 2 ? twoDigits(time.tm_min) : std::to_string(time.tm_min); break;
            case 's': out += run >= 2 ? twoDigits(time.tm_sec) : std::to_string(time.tm_sec); break;
            default: out.append(run, c); break;
        }
        i += run;
    }
    return out;
}

}  // namespace tessarin
