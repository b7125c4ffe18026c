#include "core/shell/XdgAutostartLoginItem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

#include "core/common/Log.h"
#include "core/common/StoredFile.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin {
namespace fs = std::filesystem;
namespace {

// An entry is a few hundred bytes; anything far larger is not ours.
constexpr size_t kMaxEntryBytes = 64 * 1024;
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

// One Exec argument: quoted when it holds a reserved character, with the
// characters that stay special inside quotes escaped.
std::string quotedArgument(std::string_view argument) {
    std::string quoted;
    const bool needsQuotes = argument.empty() || argument.find_first_of(kReservedInExec) != std::string_view::npos;
    if (needsQuotes) quoted.push_back('"');
    for (const char c : argument) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted.push_back('\\');
        quoted.push_back(c);
        if (c == '%') quoted.push_back('%');  // "%%" is a literal percent, not a field code
    }
    if (needsQuotes) quoted.push_back('"');
    return quoted;
}

// The string-value escapes of a desktop entry, applied over the quoting.
std::string escapedValue(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        switch (c) {
            case '\\': escaped += "\\\\"; break;
            case '\n': escaped += "\\n"; break;
            case '\t': escaped += "\\t"; break;
            case '\r': escaped += "\\r"; break;
            default: escaped.push_back(c);
        }
    }
    return escaped;
}

std::string unescapedValue(std::string_view value) {
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain.push_back(value[i]);
            continue;
        }
        const char next = value[++i];
        switch (next) {
            case 's': plain.push_back(' '); break;
            case 'n': plain.push_back('\n'); break;
            case 't': plain.push_back('\t'); break;
            case 'r': plain.push_back('\r'); break;
            default: plain.push_back(next);
        }
    }
    return plain;
}

// The program an Exec value starts: its first argument, unquoted.
std::optional<std::string> programOf(std::string_view exec) {
    const std::string command = unescapedValue(exec);
    std::string program;
    size_t i = command.find_first_not_of(" \t");
    if (i == std::string::npos) return std::nullopt;
    if (command[i] == '"') {
        for (++i; i < command.size() && command[i] != '"'; ++i) {
            if (command[i] == '\\' && i + 1 < command.size()) ++i;
            program.push_back(command[i]);
        }
        if (i == command.size()) return std::nullopt;  // unterminated quote
    } else {
        for (; i < command.size() && command[i] != ' ' && command[i] != '\t'; ++i) program.push_back(command[i]);
    }
    std::string literal;
    for (size_t j = 0; j < program.size(); ++j) {
        literal.push_back(program[j]);
        if (program[j] == '%' && j + 1 < program.size() && program[j + 1] == '%') ++j;
    }
    return literal;
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

struct EntryFacts {
    std::optional<std::string> exec;
    bool switchedOff = false;
};

// The keys of the main group that decide whether the entry runs.
EntryFacts readEntry(std::string_view text) {
    EntryFacts facts;
    bool inMainGroup = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Exec") facts.exec = std::string(value);
        if (key == "Hidden" && value == "true") facts.switchedOff = true;
        if (key == "X-GNOME-Autostart-enabled" && value == "false") facts.switchedOff = true;
    }
    return facts;
}

void logFailure(const std::string& message) { logLine(LogLevel::error, LogCategory::loginItem, message); }

}  // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(fs::path folder, std::string program)
    : folder_(std::move(folder)), program_(std::move(program)) {}

Expected<fs::path, std::string> XdgAutostartLoginItem::defaultFolder() {
    const auto base = configHome();
    if (!base) return unexpected(base.error());
    return *base / "autostart";
}

std::string XdgAutostartLoginItem::entryText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tessarin\n"
           "Comment=Screenshots and screen recordings from the tray\n"
           "Exec=" + escapedValue(quotedArgument(program)) + "\n"
           "Icon=io.tessarin.Tessarin\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostartLoginItem::isEnabled() {
    const FileRead read = readCappedFile(folder_ / entryName, kMaxEntryBytes);
    if (read.kind != FileRead::Kind::text) return false;
    const EntryFacts facts = readEntry(read.text);
    if (facts.switchedOff || !facts.exec) return false;
    return programOf(*facts.exec) == program_;
}

void XdgAutostartLoginItem::setEnabled(bool enabled) {
    const fs::path entry = folder_ / entryName;
    if (enabled) {
        if (const auto fault = replaceFileContents(entry, entryText(program_))) {
            logFailure("autostart entry write failed at " + entry.string() + ": " + fault->reason);
        }
        return;
    }
    std::error_code error;
    if (!fs::remove(entry, error) && error && error != std::errc::no_such_file_or_directory) {
        logFailure("autostart entry remove failed at " + entry.string() + ": " + error.message());
    }
}

}  // namespace tessarin
