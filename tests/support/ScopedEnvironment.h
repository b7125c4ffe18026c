#pragma once
// Sets (or clears, for nullopt) an environment variable for one scope, and
// puts back what was there.

#include <cstdlib>
#include <optional>
#include <string>

namespace tessarin::testing {

struct ScopedEnvironment {
    ScopedEnvironment(const char* name, const std::optional<std::string>& value) : variable(name) {
        if (const char* old = std::getenv(name)) previous = old;
        set(value);
    }
    ~ScopedEnvironment() { set(previous); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void set(const std::optional<std::string>& value) const {
        value ? ::setenv(variable, value->c_str(), 1) : ::unsetenv(variable);
    }
    const char* variable;
    std::optional<std::string> previous;
};

}  // namespace tessarin::testing
