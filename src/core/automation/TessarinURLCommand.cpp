#include "core/automation/TessarinURLCommand.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cctype>
#include <cmath>
#include <utility>

namespace tessarin {
namespace {

std::string lowerCased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); });
    return result;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes %XX escapes; none for a "%" not followed by two hex digits.
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        result += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return result;
}

// A scheme: a letter, then letters, digits, "+", "-" or ".".
bool isScheme(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// Digits only, after an optional sign.
bool isSignedDigits(std::string_view text, bool allowMinus) {
    if (!text.empty() && (text[0] == '+' || (allowMinus && text[0] == '-'))) text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// A decimal number as people write it: sign, digits with an optional
// fraction (or a fraction alone), an optional exponent. No hex, no words.
bool isDecimalNumber(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < text.size() && isDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == text.size();
}

bool sameDisplay(const CaptureTarget::Display& a, const CaptureTarget::Display& b) {
    if (a.index() != b.index()) return false;
    if (const auto* id = std::get_if<CaptureTarget::ByID>(&a)) return id->displayID == std::get<CaptureTarget::ByID>(b).displayID;
    if (const auto* index = std::get_if<CaptureTarget::ByIndex>(&a)) return index->index == std::get<CaptureTarget::ByIndex>(b).index;
    if (const auto* number = std::get_if<CaptureTarget::ByNumber>(&a)) {
        return number->number == std::get<CaptureTarget::ByNumber>(b).number;
    }
    return true;
}

std::optional<TessarinURLRegion> regionFrom(const URLQuery& query) {
    const auto x = query.doubleValue("x");
    const auto y = query.doubleValue("y");
    const auto width = query.doubleValue("width");
    const auto height = query.doubleValue("height");
    // All or nothing: three of four name no area at all.
    if (!x || !y || !width || !height) return std::nullopt;
    return TessarinURLRegion{*x, *y, *width, *height, query.display()};
}

std::optional<CaptureOutputAction> actionFrom(const URLQuery& query) {
    const std::string* word = query.find("action");
    if (!word) return std::nullopt;
    return CaptureOutputAction::parse(*word, query.boolValue("linebreaks"));
}

std::optional<std::string> rawValue(const URLQuery& query, const std::string& name) {
    const std::string* value = query.find(name);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

using Kind = TessarinURLCommand::Kind;

struct CommandWord {
    std::string_view word;
    Kind kind;
    DesktopIconAction icons = DesktopIconAction::toggle;
};
constexpr std::array kCommandWords{
    CommandWord{"all-in-one", Kind::allInOne},
    CommandWord{"capture-area", Kind::captureArea},
    CommandWord{"capture-previous-area", Kind::capturePreviousArea},
    CommandWord{"capture-fullscreen", Kind::captureFullscreen},
    CommandWord{"capture-window", Kind::captureWindow},
    CommandWord{"self-timer", Kind::selfTimer},
    CommandWord{"scrolling-capture", Kind::scrollingCapture},
    CommandWord{"pin", Kind::pin},
    CommandWord{"record-screen", Kind::recordScreen},
    CommandWord{"capture-text", Kind::captureText},
    CommandWord{"open-annotate", Kind::openAnnotate},
    CommandWord{"open-from-clipboard", Kind::openFromClipboard},
    CommandWord{"open-settings", Kind::openSettings},
    CommandWord{"hide-desktop-icons", Kind::desktopIcons, DesktopIconAction::hide},
    CommandWord{"show-desktop-icons", Kind::desktopIcons, DesktopIconAction::show},
    CommandWord{"toggle-desktop-icons", Kind::desktopIcons, DesktopIconAction::toggle},
    CommandWord{"restore-recently-closed", Kind::restoreRecentlyClosed},
    CommandWord{"open-history", Kind::openHistory},
    CommandWord{"add-quick-access-overlay", Kind::addQuickAccessOverlay},
};

}  // namespace

bool operator==(const TessarinURLRegion& a, const TessarinURLRegion& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && sameDisplay(a.display, b.display);
}

bool operator==(const TessarinURLCommand& a, const TessarinURLCommand& b) {
    return a.kind == b.kind && a.region == b.region && a.action == b.action && sameDisplay(a.display, b.display) &&
           a.seconds == b.seconds && a.autoscroll == b.autoscroll && a.linebreaks == b.linebreaks &&
           a.filepath == b.filepath && a.tab == b.tab && a.iconAction == b.iconAction;
}

std::vector<std::string> TessarinURLCommand::commandWords() {
    std::vector<std::string> words;
    for (const auto& row : kCommandWords) words.emplace_back(row.word);
    return words;
}

const std::vector<std::string>& registeredURLSchemes() {
    static const std::vector<std::string> schemes{"tessarin"};
    return schemes;
}

const std::string* URLQuery::find(const std::string& name) const {
    const auto it = values.find(name);
    return it == values.end() ? nullptr : &it->second;
}

std::optional<double> URLQuery::doubleValue(const std::string& name) const {
    const std::string* text = find(name);
    if (!text || !isDecimalNumber(*text)) return std::nullopt;
    double value = 0;
    const char* begin = text->data();
    // from_chars takes no "+": it is a sign we allow all the same.
    if (*begin == '+') ++begin;
    const auto [end, error] = std::from_chars(begin, text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int64_t> URLQuery::intValue(const std::string& name) const {
    const std::string* text = find(name);
    if (!text || !isSignedDigits(*text, true)) return std::nullopt;
    int64_t value = 0;
    const char* begin = text->data() + ((*text)[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(begin, text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

std::optional<bool> URLQuery::boolValue(const std::string& name) const {
    const std::string* text = find(name);
    if (!text) return std::nullopt;
    const std::string word = lowerCased(*text);
    if (word == "true" || word == "1" || word == "yes") return true;
    if (word == "false" || word == "0" || word == "no") return false;
    return std::nullopt;
}

CaptureTarget::Display URLQuery::display() const {
    if (const std::string* id = find("display-id")) {
        // "-0" is zero all the same; any other sign is not an id.
        const std::string_view digits = *id == "-0" ? std::string_view("0") : std::string_view(*id);
        if (isSignedDigits(digits, false)) {
            uint32_t value = 0;
            const char* begin = digits.data() + (digits[0] == '+' ? 1 : 0);
            const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), value);
            if (error == std::errc() && end == digits.data() + digits.size()) return CaptureTarget::ByID{value};
        }
    }
    if (const auto number = intValue("display")) return CaptureTarget::ByNumber{*number};
    return CaptureTarget::Automatic{};
}

std::optional<URLParts> splitURL(std::string_view url) {
    // What a link cannot hold unescaped.
    if (std::any_of(url.begin(), url.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7f; })) return std::nullopt;
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || !isScheme(url.substr(0, colon))) return std::nullopt;
    URLParts parts;
    parts.scheme = lowerCased(url.substr(0, colon));
    std::string_view rest = url.substr(colon + 1);
    if (const size_t hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    std::string_view query;
    if (const size_t question = rest.find('?'); question != std::string_view::npos) {
        query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }
    std::string_view host;
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
        if (const size_t port = authority.find(':'); port != std::string_view::npos) authority = authority.substr(0, port);
        host = authority;
    }
    const auto decodedHost = percentDecoded(host);
    const auto decodedPath = percentDecoded(rest);
    if (!decodedHost || !decodedPath) return std::nullopt;
    parts.host = *decodedHost;
    parts.path = *decodedPath;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = item.find('=');
        const auto name = percentDecoded(item.substr(0, equals));
        if (!name) return std::nullopt;
        if (equals == std::string_view::npos) continue;  // a key without a value
        const auto value = percentDecoded(item.substr(equals + 1));
        if (!value) return std::nullopt;
        parts.query.values[lowerCased(*name)] = *value;
    }
    return parts;
}

std::string commandName(const URLParts& parts) {
    if (!parts.host.empty()) return lowerCased(parts.host);
    std::string_view path = parts.path;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        if (!segment.empty()) return lowerCased(segment);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return {};
}

std::optional<TessarinURLCommand> TessarinURLCommand::parse(std::string_view url) {
    const auto parts = splitURL(url);
    if (!parts) return std::nullopt;
    const auto& schemes = registeredURLSchemes();
    if (std::find(schemes.begin(), schemes.end(), parts->scheme) == schemes.end()) return std::nullopt;
    const std::string word = commandName(*parts);
    const auto match = std::find_if(kCommandWords.begin(), kCommandWords.end(),
                                    [&](const CommandWord& entry) { return entry.word == word; });
    if (match == kCommandWords.end()) return std::nullopt;

    const URLQuery& query = parts->query;
    TessarinURLCommand command;
    command.kind = match->kind;
    switch (command.kind) {
        case Kind::captureArea:
            command.region = regionFrom(query);
            command.action = actionFrom(query);
            break;
        case Kind::capturePreviousArea:
        case Kind::captureWindow: command.action = actionFrom(query); break;
        case Kind::captureFullscreen:
            command.display = query.display();
            command.action = actionFrom(query);
            break;
        case Kind::selfTimer:
            command.region = regionFrom(query);
            command.seconds = query.intValue("seconds");
            command.action = actionFrom(query);
            break;
        case Kind::scrollingCapture:
            command.region = regionFrom(query);
            command.autoscroll = query.boolValue("autoscroll");
            break;
        case Kind::captureText:
            command.filepath = rawValue(query, "filepath");
            command.region = regionFrom(query);
            command.linebreaks = query.boolValue("linebreaks");
            break;
        case Kind::pin:
        case Kind::openAnnotate:
        case Kind::addQuickAccessOverlay: command.filepath = rawValue(query, "filepath"); break;
        case Kind::openSettings: command.tab = rawValue(query, "tab"); break;
        case Kind::desktopIcons: command.iconAction = match->icons; break;
        case Kind::allInOne:
        case Kind::recordScreen:
        case Kind::openFromClipboard:
        case Kind::restoreRecentlyClosed:
        case Kind::openHistory: break;
    }
    return command;
}

}  // namespace tessarin
