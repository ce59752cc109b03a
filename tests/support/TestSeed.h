#pragma once
// Seeds of the randomised tests: ZARN_TEST_SEED replays a failing run; without
// it each run takes a fresh seed. The seed is always printed, so any failure
// can be replayed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

inline uint32_t TestSeed(const char* what) {
    uint32_t seed = 0;
    if (const char* text = std::getenv("ZARN_TEST_SEED"); text && *text) {
        seed = static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
    } else {
        seed = std::random_device{}();
    }
    std::printf("%s: ZARN_TEST_SEED=%u\n", what, seed);
    return seed;
}
