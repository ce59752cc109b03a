#pragma once
// The one output device that SdlWaveOut plays through, and the clock it
// watches that device by.
//
// Callers rely on:
// - Probe() starts the audio system afresh, so that a driver or device that
//   came since is found, and returns how many outputs it lists: 0 for none
//   (strError says why), -1 when the driver cannot list them but may still
//   open a default one.
// - Open(spec, nRate, strError) opens the default output for float stereo,
//   paused. With spec.bAllowRateChange the device keeps its own rate and
//   nRate tells it; without, it plays spec.nRate whatever the hardware runs
//   at (the audio system converts). False, with strError, when it cannot.
// - Start() lets the device run: from then on spec.callback is called on a
//   thread of the device's own to fill nFrames interleaved stereo frames.
// - Lost() is true once the opened device has gone (its server ended, its
//   card was pulled out); it stays gone until it is closed and opened again.
//   A lost device may go on calling the callback and throw the sound away.
// - Close() closes an opened device; when it returns no callback runs or
//   will run.
// - NowMs() is a steady clock in milliseconds.
// - Driver() names the driver in use, for messages.
// One thread at a time calls in.

#include <cstdint>
#include <string>

class IAudioDevice {
public:
    using Callback = void (*)(void* pUser, float* pOut, int nFrames);
    struct Spec {
        int nRate = 48000;
        int nFrames = 256;  // of one device buffer
        bool bAllowRateChange = true;
        Callback callback = nullptr;
        void* pUser = nullptr;
    };

    virtual ~IAudioDevice() = default;
    virtual int Probe(std::string& strError) = 0;
    virtual bool Open(const Spec& spec, int& nRate, std::string& strError) = 0;
    virtual void Start() = 0;
    virtual bool Lost() = 0;
    virtual void Close() = 0;
    virtual int64_t NowMs() = 0;
    virtual std::string Driver() = 0;
};
