#include "bench/sound/GapCountingWaveOut.h"

MMRESULT GapCountingWaveOut::Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx,
                                  WaveOutCallback callback, uintptr_t dwInstance) {
    const MMRESULT mm = m_inner.Open(phwo, pwfx, callback, dwInstance);
    if (mm == MMSYSERR_NOERROR) m_streams[*phwo] = Stream{pwfx->nAvgBytesPerSec, 0, {}};
    return mm;
}

MMRESULT GapCountingWaveOut::Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    if (auto it = m_streams.find(hwo); it != m_streams.end() && pwh) {
        Stream& s = it->second;
        const Clock::time_point now = Clock::now();
        if (s.nBytesWritten == 0) {
            s.firstWrite = now;
        } else {
            const auto playedOut =
                s.firstWrite + m_allowance +
                std::chrono::microseconds(s.nBytesWritten * 1'000'000 / s.nAvgBytesPerSec);
            if (now > playedOut) m_nGaps.fetch_add(1, std::memory_order_relaxed);
        }
        s.nBytesWritten += pwh->dwBufferLength;
    }
    return m_inner.Write(hwo, pwh, cbwh);
}

MMRESULT GapCountingWaveOut::Close(HWAVEOUT hwo) {
    const MMRESULT mm = m_inner.Close(hwo);
    if (mm == MMSYSERR_NOERROR) m_streams.erase(hwo);
    return mm;
}
