// Invariant checks of the fuzz targets: a violation says what broke and traps, which libFuzzer
// reports as a finding together with the input that caused it.
#pragma once
#include <cstdio>

[[noreturn]] inline void fuzz_violation(const char *what, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: invariant violated: %s\n", file, line, what);
    __builtin_trap();
}

#define FUZZ_FAIL(what) fuzz_violation(what, __FILE__, __LINE__)
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) FUZZ_FAIL(what);                                                         \
    } while (0)
