#include "platform/x11/DisplayScale.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessarin::x11 {

namespace {

std::string_view trim(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<double> positiveNumber(std::string_view text) {
    text = trim(text);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> parseGdkScale(std::string_view text) {
    // GTK reads an integer factor; a fraction, a huge or a non-finite value
    // would size every capture wrongly, so it does not count as set.
    text = trim(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < 1 || value > kMaxScale) return std::nullopt;
    return value;
}

std::optional<double> parseXftDpi(std::string_view resources) {
    std::optional<double> dpi;
    while (!resources.empty()) {
        const size_t newline = resources.find('\n');
        const std::string_view line = resources.substr(0, newline);
        resources = newline == std::string_view::npos ? std::string_view{} : resources.substr(newline + 1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != "Xft.dpi") continue;
        auto value = positiveNumber(line.substr(colon + 1));
        if (value && *value <= kMaxScale * kBaseDpi) dpi = value;
    }
    return dpi;
}

double chooseScale(std::optional<std::string_view> gdkScale, std::optional<std::string_view> resources) {
    double scale = 1;
    if (auto value = gdkScale ? parseGdkScale(*gdkScale) : std::nullopt) {
        scale = *value;
    } else if (auto dpi = resources ? parseXftDpi(*resources) : std::nullopt) {
        scale = *dpi / kBaseDpi;
    }
    return std::max(scale, 1.0);
}

}  // namespace tessarin::x11
