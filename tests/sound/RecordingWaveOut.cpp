#include "tests/sound/RecordingWaveOut.h"

thread_local bool RecordingWaveOut::t_bInCall = false;

MMRESULT RecordingWaveOut::Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                                uintptr_t dwInstance) {
    auto pRecord = std::make_unique<Record>();
    pRecord->callback = callback;
    pRecord->dwInstance = dwInstance;
    pRecord->pOwner = this;
    t_bInCall = true;
    const MMRESULT mm =
        m_inner.Open(phwo, pwfx, &Trampoline, reinterpret_cast<uintptr_t>(pRecord.get()));
    t_bInCall = false;
    if (mm == MMSYSERR_NOERROR) {
        std::lock_guard lock(m_mutex);
        pRecord->hwo = *phwo;
        pRecord->bOpen = true;
        m_records.push_back(std::move(pRecord));
    }
    return mm;
}

void RecordingWaveOut::Trampoline(HWAVEOUT hwo, uint32_t uMsg, uintptr_t dwInstance, uintptr_t p1,
                                  uintptr_t p2) {
    auto* pRecord = reinterpret_cast<Record*>(dwInstance);
    {
        std::lock_guard lock(pRecord->pOwner->m_mutex);
        if (uMsg == MM_WOM_DONE) pRecord->done.push_back(reinterpret_cast<const WAVEHDR*>(p1));
        if (t_bInCall) pRecord->bCallbackOnCallerThread = true;
    }
    pRecord->callback(hwo, uMsg, pRecord->dwInstance, p1, p2);
}

RecordingWaveOut::Record* RecordingWaveOut::FindLocked(HWAVEOUT hwo) {
    for (auto& r : m_records) {
        if (r->hwo == hwo && r->bOpen) return r.get();
    }
    return nullptr;
}

MMRESULT RecordingWaveOut::Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    {
        std::lock_guard lock(m_mutex);
        if (Record* r = FindLocked(hwo)) {
            r->written.push_back(pwh);
            r->bytesWritten += pwh->dwBufferLength;
        }
    }
    t_bInCall = true;
    const MMRESULT mm = m_inner.Write(hwo, pwh, cbwh);
    t_bInCall = false;
    return mm;
}

MMRESULT RecordingWaveOut::Close(HWAVEOUT hwo) {
    const MMRESULT mm = m_inner.Close(hwo);
    if (mm == MMSYSERR_NOERROR) {
        std::lock_guard lock(m_mutex);
        if (Record* r = FindLocked(hwo)) r->bOpen = false;
    }
    return mm;
}

int RecordingWaveOut::OpenStreams() const {
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& r : m_records) n += r->bOpen ? 1 : 0;
    return n;
}

std::vector<RecordingWaveOut::Record> RecordingWaveOut::Streams() const {
    std::lock_guard lock(m_mutex);
    std::vector<Record> v;
    for (const auto& r : m_records) v.push_back(*r);
    return v;
}
