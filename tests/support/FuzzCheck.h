#pragma once
// A fuzz target's own checks beside the sanitizers': a broken promise
// aborts, so that libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

inline void FuzzCheck(bool ok, const char* pszPromise) {
    if (!ok) {
        std::fprintf(stderr, "broken promise: %s\n", pszPromise);
        std::abort();
    }
}
