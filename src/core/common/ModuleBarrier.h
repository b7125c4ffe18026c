#pragma once
// The exception barrier every entry point of a loadable module runs its
// body behind. The program links its own copy of the C++ runtime and a
// module uses the shared one, so an exception that leaves a module unwinds
// through two runtimes and ends the process (std::terminate) instead of
// reaching any catch in the program. Everything a module's code can throw
// is therefore caught inside the module, at each entry point (exported C
// functions and the virtual functions of objects the module hands out), and
// crosses over as a plain value.

#include <exception>
#include <new>
#include <optional>
#include <string>

namespace tessarin {

// Runs `body`; nothing when it returned, else what it threw, as text.
template <class Body>
std::optional<std::string> runBehindModuleBarrier(Body&& body) noexcept {
    try {
        body();
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::string("out of memory");
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return std::string("an unknown exception");
    }
}

}  // namespace tessarin
