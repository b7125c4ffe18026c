#pragma once
// A programming error that must stop the program in every build, release
// included: continuing would run code twice or touch freed memory.

#include <cstdio>
#include <cstdlib>

namespace tessarin {

[[noreturn]] inline void failedCheck(const char* what, const char* file, int line) {
    std::fprintf(stderr, "tessarin: %s:%d: %s\n", file, line, what);
    std::abort();
}

}  // namespace tessarin

#define TESSARIN_CHECK(condition, what) \
    ((condition) ? static_cast<void>(0) : ::tessarin::failedCheck(what, __FILE__, __LINE__))
