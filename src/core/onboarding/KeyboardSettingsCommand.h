#pragma once
// The desktop's own keyboard-shortcut settings, for "Open Keyboard
// Settings": a program and its arguments, started without a shell. The
// desktop is read from XDG_CURRENT_DESKTOP (a colon-separated list, the
// first known one wins); a program that is not installed is passed over, and
// with none the button is hidden.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

struct ProgramCommand {
    std::string program;
    std::vector<std::string> arguments;
    friend bool operator==(const ProgramCommand&, const ProgramCommand&) = default;
};

// `installed` says whether a program name is found on PATH.
std::optional<ProgramCommand> keyboardSettingsCommand(std::string_view currentDesktop,
                                                      const std::function<bool(const std::string&)>& installed);

}  // namespace tessarin
