#pragma once
// What every fuzz target uses to report a broken property: the message on
// stderr and an abort, which libFuzzer records as a crash with its input.
#include <cstdio>
#include <cstdlib>

inline void FuzzCheck(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
