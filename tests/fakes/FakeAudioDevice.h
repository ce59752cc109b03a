#pragma once
// An output device for tests of SdlWaveOut: it goes away and comes back on
// command, its callback runs when the test pulls it, and its clock moves only
// when the test moves it.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sdl/AudioDevice.h"

class FakeAudioDevice final : public IAudioDevice {
public:
    // Gone: the open device is lost, probes list nothing and opens fail.
    void SetPresent(bool bPresent);
    // Listed by probes, but every open fails.
    void SetRefuseOpens(bool bRefuse);
    // The rate an open that allows a change gets.
    void SetHardwareRate(int nRate);
    // Moves the clock and returns at once.
    void MoveClock(int64_t ms);
    // Moves the clock, then waits until whoever watches the device has run a
    // whole round at the new time (it reads the clock at the start of each
    // round); false when that did not happen within 5 seconds.
    bool Advance(int64_t ms);
    // Runs the callback of the open, started device for nFrames, as the
    // device's thread would; empty when there is none.
    std::vector<float> Pull(int nFrames);

    int Probes() const;
    std::vector<Spec> Opens() const;  // every open asked for, in order
    bool IsOpen() const;

    int Probe(std::string& strError) override;
    bool Open(const Spec& spec, int& nRate, std::string& strError) override;
    void Start() override;
    bool Lost() override;
    void Close() override;
    int64_t NowMs() override;
    std::string Driver() override { return "fake"; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_clockCv;  // the clock was read
    std::mutex m_callbackMutex;         // held while the callback runs
    bool m_bPresent = true;
    bool m_bRefuseOpens = false;
    bool m_bOpen = false;
    bool m_bStarted = false;
    bool m_bLost = false;
    int m_nHardwareRate = 48000;
    int64_t m_nowMs = 0;
    uint64_t m_nClockReads = 0;
    int m_nProbes = 0;
    Spec m_spec;
    std::vector<Spec> m_opens;
};
