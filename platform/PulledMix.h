#pragma once
// The mix of a wave output that has no device: its owner pulls it block by
// block, at its own pace, as a run in virtual time does.
//
// Callers rely on:
// - Render(pOut, nFrames) fills nFrames interleaved 16-bit stereo frames at
//   SampleRate(): what a device would have played next, mixed as it would
//   have been. When Render returns, the done-callbacks of every buffer it
//   finished have run (on the output's own thread, as platform/WaveOut.h
//   promises) and streams that have ended are gone, so the next stream call
//   finds the same state however the threads were timed.
// - Idle() is true when no stream is open and none still sounds.
// Called on the one thread that also makes the stream calls.

#include <cstdint>

class IPulledMix {
public:
    virtual int SampleRate() const = 0;
    virtual void Render(int16_t* pOut, int nFrames) = 0;
    virtual bool Idle() = 0;

protected:
    ~IPulledMix() = default;
};
