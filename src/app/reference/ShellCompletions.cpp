#include "app/reference/ShellCompletions.h"

#include <algorithm>
#include <set>

namespace tessarin {
namespace {

constexpr const char* kGeneratedNote = "# Generated from tessarin's command table; do not edit.\n";

std::string joined(const std::vector<std::string>& words, const std::string& separator) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) text += (i > 0 ? separator : "") + words[i];
    return text;
}

std::vector<std::string> flagNames(const TessarinCLI::Subcommand& command) {
    std::vector<std::string> names;
    for (const auto& flag : flagsOf(command)) names.push_back(flag.name);
    return names;
}

// Flags that take a value, split by whether the value is a path; the same
// flag name means the same thing in every command.
struct ValueFlags {
    std::set<std::string> files;
    std::set<std::string> others;
};

ValueFlags valueFlags(const ReferenceFacts& facts) {
    ValueFlags result;
    for (const auto& command : facts.commands) {
        for (const auto& flag : flagsOf(command)) {
            if (flag.takesFile) {
                result.files.insert(flag.name);
            } else if (!flag.valueHint.empty()) {
                result.others.insert(flag.name);
            }
        }
    }
    for (const auto& name : result.files) result.others.erase(name);
    return result;
}

std::vector<std::string> commandNames(const ReferenceFacts& facts) {
    std::vector<std::string> names;
    for (const auto& command : facts.commands) names.push_back(command.name);
    return names;
}

// Inside single quotes: ' closes, so it becomes '\'' (sh, zsh) or \' (fish).
std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string fishQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

// _arguments reads ':' as a field separator and '[' ']' as the description's bounds.
std::string zshSafe(const std::string& text) {
    std::string safe;
    for (char c : text) {
        if (c == ':' || c == '[' || c == ']' || c == '\\') safe += '\\';
        safe += c;
    }
    return safe;
}

std::string setWords(const std::set<std::string>& words) {
    return joined(std::vector<std::string>(words.begin(), words.end()), "|");
}

}  // namespace

std::string bashCompletion(const ReferenceFacts& facts) {
    const ValueFlags values = valueFlags(facts);
    std::string script = "# bash completion for tessarin\n" + std::string(kGeneratedNote);
    script += "_tessarin() {\n"
              "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
              "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
              "        COMPREPLY=($(compgen -W " +
              shellQuoted(joined(commandNames(facts), " ")) +
              " -- \"$cur\"))\n"
              "        return\n"
              "    fi\n"
              "    case $prev in\n";
    if (!values.files.empty()) {
        script += "        " + setWords(values.files) +
                  ")\n"
                  "            compopt -o filenames 2>/dev/null\n"
                  "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                  "            return ;;\n";
    }
    if (!values.others.empty()) script += "        " + setWords(values.others) + ") return ;;\n";
    script += "    esac\n"
              "    local flags=\n"
              "    case ${COMP_WORDS[1]} in\n";
    for (const auto& command : facts.commands) {
        const auto flags = flagNames(command);
        if (!flags.empty()) script += "        " + command.name + ") flags=" + shellQuoted(joined(flags, " ")) + " ;;\n";
    }
    script += "    esac\n"
              "    COMPREPLY=($(compgen -W \"$flags\" -- \"$cur\"))\n"
              "}\n"
              "complete -F _tessarin tessarin\n";
    return script;
}

std::string zshCompletion(const ReferenceFacts& facts) {
    std::string script = "#compdef tessarin\n" + std::string(kGeneratedNote);
    script += "_tessarin() {\n"
              "    local -a commands\n"
              "    commands=(\n";
    for (const auto& command : facts.commands) {
        const std::string summary = command.usageLines.empty() ? std::string() : command.usageLines[0];
        script += "        " + shellQuoted(command.name + ":" + summary) + "\n";
    }
    script += "    )\n"
              "    if (( CURRENT == 2 )); then\n"
              "        _describe -t commands 'tessarin command' commands\n"
              "        return\n"
              "    fi\n"
              "    local command=$words[2]\n"
              "    shift words\n"
              "    (( CURRENT-- ))\n"
              "    case $command in\n";
    for (const auto& command : facts.commands) {
        const auto flags = flagsOf(command);
        if (flags.empty()) continue;
        script += "        " + command.name + ")\n            _arguments";
        for (const auto& flag : flags) {
            std::string spec = flag.name;
            if (!flag.valueHint.empty()) {
                spec += "[" + zshSafe(flag.valueHint) + "]:" + zshSafe(flag.valueHint) + ":" +
                        (flag.takesFile ? "_files" : " ");
            }
            script += " \\\n                " + shellQuoted(spec);
        }
        script += " ;;\n";
    }
    script += "    esac\n"
              "}\n"
              "_tessarin \"$@\"\n";
    return script;
}

std::string fishCompletion(const ReferenceFacts& facts) {
    std::string script = "# fish completion for tessarin\n" + std::string(kGeneratedNote);
    script += "complete -c tessarin -f\n";
    for (const auto& command : facts.commands) {
        const std::string summary = command.usageLines.empty() ? std::string() : command.usageLines[0];
        script += "complete -c tessarin -n __fish_use_subcommand -a " + command.name + " -d " + fishQuoted(summary) + "\n";
    }
    for (const auto& command : facts.commands) {
        for (const auto& flag : flagsOf(command)) {
            script += "complete -c tessarin -n " + fishQuoted("__fish_seen_subcommand_from " + command.name) + " -l " +
                      flag.name.substr(2);
            if (flag.takesFile) {
                script += " -r -F";
            } else if (!flag.valueHint.empty()) {
                script += " -x";
            }
            if (!flag.valueHint.empty()) script += " -d " + fishQuoted(flag.valueHint);
            script += "\n";
        }
    }
    return script;
}

}  // namespace tessarin
