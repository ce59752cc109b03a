#pragma once
// One entry of the sound bank's clip table: a whole WAV clip in memory.

#include <cstdint>

#include "platform/WaveOut.h"

struct WaveClip {
    uint8_t* pData;  // dwDataLength bytes from calloc, owned by the bank
    uint32_t dwDataLength;
    WAVEFORMATEX wfx;      // handed unchanged to the output when a stream opens
    int32_t bPlayRequest;  // 0 or 1; under g_csSoundBank
};
