#include "core/cli/AgentReference.h"

#include <algorithm>
#include <sstream>

namespace tessarin {
namespace {

bool isFlagCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// "[--display-id" -> "--display-id"; "--shapes" stays; "x,y,w,h]" -> "x,y,w,h".
std::string withoutBrackets(std::string word) {
    const auto bracket = [](char c) { return c == '[' || c == ']' || c == '(' || c == ')'; };
    word.erase(std::remove_if(word.begin(), word.end(), bracket), word.end());
    return word;
}

std::vector<std::string> wordsOf(const std::vector<std::string>& lines) {
    std::vector<std::string> words;
    for (const auto& line : lines) {
        std::istringstream stream(line);
        for (std::string word; stream >> word;) words.push_back(withoutBrackets(word));
    }
    return words;
}

// A value hint is the word after a flag unless it is another flag or an
// alternative bar; "<title substring>" spans words up to its closing '>'.
std::string valueHintAt(const std::vector<std::string>& words, size_t index) {
    if (index >= words.size()) return {};
    std::string hint = words[index];
    if (hint.empty() || hint.starts_with("-") || hint == "|") return {};
    for (size_t next = index + 1; hint.starts_with("<") && hint.find('>') == std::string::npos && next < words.size();
         ++next) {
        hint += " " + words[next];
    }
    return hint;
}

}  // namespace

std::vector<CommandFlag> flagsOf(const TessarinCLI::Subcommand& command) {
    std::vector<CommandFlag> flags;
    const auto words = wordsOf(std::vector<std::string>(command.usageLines.begin() + (command.usageLines.empty() ? 0 : 1),
                                                        command.usageLines.end()));
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!word.starts_with("--") || word.size() < 3 || word[2] == '-') continue;
        const auto end = std::find_if_not(word.begin() + 2, word.end(), isFlagCharacter);
        std::string name(word.begin(), end);
        const auto seen = [&](const CommandFlag& flag) { return flag.name == name; };
        if (std::any_of(flags.begin(), flags.end(), seen)) continue;
        // A hint glued to the flag ("--shapes <file>|-" splits at spaces only).
        std::string hint = end == word.end() ? valueHintAt(words, i + 1) : std::string();
        const bool takesFile = hint.find("<png>") != std::string::npos || hint.find("<file>") != std::string::npos;
        flags.push_back({std::move(name), std::move(hint), takesFile});
    }
    return flags;
}

const std::vector<ExitStatusRow>& agentExitStatuses() {
    static const std::vector<ExitStatusRow> rows{
        {0, "the command succeeded (doctor: screen capture is available)"},
        {1,
         "the command failed; one JSON error object is on standard error. Also doctor when the screen cannot be "
         "captured, and the application when there is no display to run on"},
        {TessarinCLI::kUnknownCommandStatus,
         "the first argument is no command word; the usage text is on standard output"},
    };
    return rows;
}

const std::vector<EnvironmentRow>& programEnvironment() {
    static const std::vector<EnvironmentRow> rows{
        {"DISPLAY", "the X server to capture and to show the application on"},
        {"TESSARIN_SANDBOX_ROOT",
         "every path the agent reads or writes must lie inside this folder, judged after resolving symbolic links "
         "and then opened following none"},
        {"GDK_SCALE", "the desktop scale: a whole number from 1 to 8; otherwise Xft.dpi / 96"},
        {"TESSARIN_X_TIMEOUT_MS",
         "how long the X server may take to answer, in milliseconds (default 5000); a server that does not is an "
         "error, not a hang"},
        {"TESSARIN_PORTAL_TIMEOUT_MS",
         "how long a Wayland Screenshot portal request may take, in milliseconds (default 30000); then it is closed "
         "and the capture fails"},
        {"TESSARIN_LOG", "stderr: mirror diagnostics (normally in the system journal) to standard error"},
        {"TESSARIN_PLATFORM",
         "null: no screen access and no global shortcuts; x11: use X11 even in a Wayland session"},
        {"TESSARIN_BACKEND",
         "x11 or portal: the screen back end, whatever the session (normally X11, and the desktop portals in a "
         "Wayland session)"},
        {"WAYLAND_DISPLAY",
         "marks a Wayland session: the screen is read through the desktop portals, and doctor lists them"},
        {"XDG_SESSION_TYPE", "wayland marks a Wayland session, as WAYLAND_DISPLAY does"},
        {"DBUS_SESSION_BUS_ADDRESS",
         "the session bus, through which a Wayland session's desktop portals are reached (default: "
         "$XDG_RUNTIME_DIR/bus)"},
        {"XDG_RUNTIME_DIR", "the folder of the session bus's socket (bus) and of the Wayland display's"},
        {"XDG_CURRENT_DESKTOP", "which desktop's settings the application opens for its keyboard shortcuts"},
        {"HOME", "the home folder, under which the XDG folders lie by default"},
        {"XDG_CONFIG_HOME", "where the preferences live (io.tessarin.Tessarin/preferences.json)"},
        {"XDG_DATA_HOME", "where the capture history and the pinned screenshots live (io.tessarin.Tessarin/)"},
        {"TESSDATA_PREFIX", "where the text engine's language data lives (default: the system's)"},
        {"TESSARIN_MODULE_DIR", "a folder searched first for the engine modules (libtessarin-<name>.so)"},
        {"TESSARIN_TRACE_PAINT", "1: the application logs each selection-overlay paint's duration and area"},
        {"TESSARIN_TRACE_STALLS", "1: the application logs each main-loop stall over 1 ms"},
    };
    return rows;
}

}  // namespace tessarin
