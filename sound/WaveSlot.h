#pragma once
// One playback slot of the sound bank: an open output stream, the clip it
// plays and its ring of buffers.

#include <cstdint>

#include "platform/WaveOut.h"
#include "sound/WaveClip.h"

struct WaveSlot {
    // Worker thread only.
    HWAVEOUT hWaveOut;  // meaningful while bInUse is 1
    int32_t bInUse;
    WaveClip* pClip;       // not owned; null when free
    uint32_t dwBytesSent;  // bytes of the clip written so far
    WAVEHDR* pHeaders;     // the pool: headers, then their data buffers
    // Under g_csSoundBank: the done-callback returns buffers here.
    int32_t nFreeBuffers;
    // Worker thread only.
    int32_t nNextHeader;  // ring position of the next write
};
