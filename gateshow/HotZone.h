#pragma once
// A rectangle of the gate show's window, in client pixels, that a click can choose.

#include <cstdint>

struct HotZone {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
