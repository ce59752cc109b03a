#pragma once
// What runs a sound bank's passes when the bank is not to run them on a
// worker thread of its own: a virtual clock that runs a show faster than real
// time, or a test that steps the passes one by one.
//
// The bank relies on:
// - Start(bank) is called once, by the bank's first accepted Play, on the
//   owner's thread. From then on the driver calls bank.RunPass(), as the
//   worker would every WAVE_PASS_PERIOD_MS: one pass at a time, never while
//   the owner is inside the bank.
// - Stop(bank) is called once, while the bank is being destroyed, and only
//   after Start. When it returns no pass runs or will run again; the bank
//   then stops its streams on the owner's thread, as the worker does at its
//   end.
// - AllocBufferPool gives the buffer pool of slot nSlot at construction;
//   null leaves that slot without a pool, and the bank never opens it. The
//   default is the bank's own allocation.

#include <cstdint>

#include "platform/WaveOut.h"

class CSoundBank;

class IPassDriver {
public:
    virtual ~IPassDriver() = default;
    virtual void Start(CSoundBank& bank) = 0;
    virtual void Stop(CSoundBank& bank) = 0;
    virtual WAVEHDR* AllocBufferPool(int nSlot, uint32_t dwBufferBytes, int nCount);
};
