#pragma once
// The agent's command line: `tessarin <command> --flag value --switch ...`.
// Positional words carry no meaning; every flag a command reads is recorded,
// so the dispatcher can warn about the ones nobody read.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tessarin {

class CLIArguments {
public:
    // args[0] is the command word.
    explicit CLIArguments(const std::vector<std::string>& args);

    const std::string& command() const { return command_; }
    const std::map<std::string, std::string>& values() const { return values_; }
    const std::set<std::string>& switches() const { return switches_; }

    std::optional<std::string> value(const std::string& name) const;
    // Base-10 integer with an optional sign and nothing else; out of range reads as none.
    std::optional<int64_t> integer(const std::string& name) const;
    bool flag(const std::string& name) const;
    // True when `name` was given without a value (and so has none to read).
    bool switchGiven(const std::string& name) const;

    // Flags given but never read, sorted.
    std::vector<std::string> ignoredFlags() const;

private:
    void consume(const std::string& name) const;

    struct FlagConsumption {
        std::mutex lock;
        std::set<std::string> keys;
    };

    std::string command_;
    std::map<std::string, std::string> values_;
    std::set<std::string> switches_;
    // Shared so copies handed to later closures record into one place.
    std::shared_ptr<FlagConsumption> consumption_ = std::make_shared<FlagConsumption>();
};

// The integer grammar on its own (used by tests and the fuzzer).
std::optional<int64_t> parseStrictInteger(const std::string& text);

}  // namespace tessarin
