#pragma once
// Stands between the wave output and a real device: gives every open the
// buffer size under test and times the device's calls for more sound.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/sdl/AudioDevice.h"

class TimedAudioDevice final : public IAudioDevice {
public:
    TimedAudioDevice(IAudioDevice& inner, int nBufferFrames);

    // Calls that came more than two calls' worth of sound after the one
    // before: a double-buffered device would have run dry by then.
    uint64_t LateCalls() const { return m_nLateCalls.load(std::memory_order_relaxed); }

    int Probe(std::string& strError) override { return m_inner.Probe(strError); }
    bool Open(const Spec& spec, int& nRate, std::string& strError) override;
    void Start() override { m_inner.Start(); }
    bool Lost() override { return m_inner.Lost(); }
    void Close() override { m_inner.Close(); }
    int64_t NowMs() override { return m_inner.NowMs(); }
    std::string Driver() override { return m_inner.Driver(); }

private:
    static void Timed(void* pUser, float* pOut, int nFrames);

    IAudioDevice& m_inner;
    const int m_nBufferFrames;
    Spec m_spec;           // the wave output's, as it asked
    int m_nRate = 0;       // the device's
    int64_t m_lastNs = 0;  // the device's thread only
    std::atomic<uint64_t> m_nLateCalls{0};
};
