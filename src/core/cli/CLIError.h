#pragma once
// The agent's error: thrown by a command, caught once at the dispatcher and
// written there as {"error": description}.

#include <exception>
#include <string>

namespace tessarin {

class CLIError : public std::exception {
public:
    enum class Kind { missingFlag, badArguments, captureFailed, readFailed, sandboxViolation };

    static CLIError missingFlag(std::string flag) { return {Kind::missingFlag, "missing required flag " + flag}; }
    static CLIError badArguments(std::string message) { return {Kind::badArguments, std::move(message)}; }
    static CLIError captureFailed(const std::string& reason) { return {Kind::captureFailed, "capture failed: " + reason}; }
    static CLIError readFailed(const std::string& reason) { return {Kind::readFailed, "could not read input: " + reason}; }
    // `flag` without its dashes, e.g. "out".
    static CLIError sandboxViolation(const std::string& flag, const std::string& resolvedPath, const std::string& root);

    Kind kind() const { return kind_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    CLIError(Kind kind, std::string description) : kind_(kind), description_(std::move(description)) {}
    Kind kind_;
    std::string description_;
};

}  // namespace tessarin
