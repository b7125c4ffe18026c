#include "core/cli/CLIArguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tessarin {
namespace {

bool isFlag(const std::string& arg) { return arg.size() >= 2 && arg[0] == '-' && arg[1] == '-'; }

}  // namespace

CLIArguments::CLIArguments(const std::vector<std::string>& args) {
    if (args.empty()) return;
    command_ = args[0];
    size_t i = 1;
    while (i < args.size()) {
        const std::string& arg = args[i];
        if (!isFlag(arg)) {
            ++i;
            continue;
        }
        const std::string rest = arg.substr(2);
        if (const auto eq = rest.find('='); eq != std::string::npos) {
            values_[rest.substr(0, eq)] = rest.substr(eq + 1);
            ++i;
        } else if (i + 1 < args.size() && !isFlag(args[i + 1])) {
            values_[rest] = args[i + 1];
            i += 2;
        } else {
            switches_.insert(rest);
            ++i;
        }
    }
}

void CLIArguments::consume(const std::string& name) const {
    std::lock_guard guard(consumption_->lock);
    consumption_->keys.insert(name);
}

std::optional<std::string> CLIArguments::value(const std::string& name) const {
    consume(name);
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::optional<int64_t> parseStrictInteger(const std::string& text) {
    size_t start = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        start = 1;
    }
    if (start == text.size()) return std::nullopt;
    if (!std::all_of(text.begin() + long(start), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    // Parse with the sign attached so INT64_MIN is representable.
    const std::string digits = (negative ? "-" : "") + text.substr(start);
    int64_t result = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), result);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return result;
}

std::optional<int64_t> CLIArguments::integer(const std::string& name) const {
    const auto text = value(name);
    if (!text) return std::nullopt;
    return parseStrictInteger(*text);
}

bool CLIArguments::flag(const std::string& name) const {
    consume(name);
    if (switches_.contains(name)) return true;
    const auto it = values_.find(name);
    if (it == values_.end()) return false;
    std::string lower = it->second;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower != "false" && lower != "0" && lower != "no";
}

bool CLIArguments::switchGiven(const std::string& name) const {
    consume(name);
    return switches_.contains(name) && !values_.contains(name);
}

std::vector<std::string> CLIArguments::ignoredFlags() const {
    std::set<std::string> given;
    for (const auto& [name, _] : values_) given.insert(name);
    given.insert(switches_.begin(), switches_.end());
    std::vector<std::string> ignored;
    std::lock_guard guard(consumption_->lock);
    for (const auto& name : given) {
        if (!consumption_->keys.contains(name)) ignored.push_back(name);
    }
    return ignored;  // std::set iterates in byte order, which is code-point order for UTF-8
}

}  // namespace tessarin
