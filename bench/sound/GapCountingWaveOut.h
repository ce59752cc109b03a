#pragma once
// Passes every call on to another wave output and counts the gaps in each
// stream's sound: writes that came after everything written to the stream
// before them had had time to play out, from the stream's first write and an
// allowance for the output's start, so the mix must have run dry meanwhile.
// For one writing thread, as the sound bank's worker is.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>

#include "platform/WaveOut.h"

class GapCountingWaveOut final : public IWaveOut {
public:
    GapCountingWaveOut(IWaveOut& inner, std::chrono::microseconds allowance)
        : m_inner(inner), m_allowance(allowance) {}

    uint64_t Gaps() const { return m_nGaps.load(std::memory_order_relaxed); }

    uint32_t GetNumDevs() override { return m_inner.GetNumDevs(); }
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                  uintptr_t dwInstance) override;
    MMRESULT PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override {
        return m_inner.PrepareHeader(hwo, pwh, cbwh);
    }
    MMRESULT UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override {
        return m_inner.UnprepareHeader(hwo, pwh, cbwh);
    }
    MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT Reset(HWAVEOUT hwo) override { return m_inner.Reset(hwo); }
    MMRESULT Close(HWAVEOUT hwo) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Stream {
        uint32_t nAvgBytesPerSec = 0;
        uint64_t nBytesWritten = 0;
        Clock::time_point firstWrite{};
    };

    IWaveOut& m_inner;
    const std::chrono::microseconds m_allowance;
    std::map<HWAVEOUT, Stream> m_streams;
    std::atomic<uint64_t> m_nGaps{0};
};
