#include "tests/fakes/SimulatedWaveOut.h"

#include <algorithm>

struct SimulatedWaveOut::SimStream {
    StreamRecord record;
    WaveOutCallback callback = nullptr;
    uintptr_t dwInstance = 0;
    std::deque<WAVEHDR*> queue;
    uint64_t headPlayed = 0;  // bytes of the front buffer already played
};

SimulatedWaveOut::SimulatedWaveOut() : m_thread([this] { CallbackThread(); }) {}

SimulatedWaveOut::~SimulatedWaveOut() {
    {
        std::lock_guard lock(m_mutex);
        m_bQuit = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void SimulatedWaveOut::SetNumDevs(uint32_t n) {
    std::lock_guard lock(m_mutex);
    m_nDevs = n;
}

void SimulatedWaveOut::SetRefuseOpens(bool refuse) {
    std::lock_guard lock(m_mutex);
    m_bRefuseOpens = refuse;
}

void SimulatedWaveOut::SetFailCloses(bool fail) {
    std::lock_guard lock(m_mutex);
    m_bFailCloses = fail;
}

void SimulatedWaveOut::CallbackThread() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_bQuit || !m_pending.empty(); });
        if (m_pending.empty()) return;
        const Done done = m_pending.front();
        m_pending.pop_front();
        const WaveOutCallback callback = done.pStream->callback;
        const uintptr_t dwInstance = done.pStream->dwInstance;
        done.pStream->record.done.push_back(done.pHeader);
        lock.unlock();
        callback(reinterpret_cast<HWAVEOUT>(done.pStream), MM_WOM_DONE, dwInstance,
                 reinterpret_cast<uintptr_t>(done.pHeader), 0);
        lock.lock();
        ++m_nDelivered;
        m_cv.notify_all();
    }
}

void SimulatedWaveOut::Finish(SimStream& stream, WAVEHDR* pHeader) {
    pHeader->dwFlags = (pHeader->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    m_pending.push_back({&stream, pHeader});
    ++m_nPosted;
}

void SimulatedWaveOut::DeliverAndWait(std::unique_lock<std::mutex>& lock) {
    m_cv.notify_all();
    m_cv.wait(lock, [this] { return m_nDelivered == m_nPosted; });
}

void SimulatedWaveOut::Advance(uint32_t ms) {
    std::unique_lock lock(m_mutex);
    m_nowMs += ms;
    for (auto& pStream : m_streams) {
        SimStream& s = *pStream;
        uint64_t budget = static_cast<uint64_t>(s.record.wfx.nAvgBytesPerSec) * ms / 1000;
        while (!s.queue.empty()) {
            WAVEHDR* pHeader = s.queue.front();
            const uint64_t left = pHeader->dwBufferLength - s.headPlayed;
            if (budget < left) {
                s.headPlayed += budget;
                break;
            }
            budget -= left;
            s.headPlayed = 0;
            s.queue.pop_front();
            Finish(s, pHeader);
        }
    }
    DeliverAndWait(lock);
}

void SimulatedWaveOut::FinishAll() {
    std::unique_lock lock(m_mutex);
    for (auto& pStream : m_streams) {
        for (WAVEHDR* pHeader : pStream->queue) Finish(*pStream, pHeader);
        pStream->queue.clear();
        pStream->headPlayed = 0;
    }
    DeliverAndWait(lock);
}

size_t SimulatedWaveOut::StreamCount() const {
    std::lock_guard lock(m_mutex);
    return m_streams.size();
}

SimulatedWaveOut::StreamRecord SimulatedWaveOut::Stream(size_t index) const {
    std::lock_guard lock(m_mutex);
    return m_streams.at(index)->record;
}

int SimulatedWaveOut::OpenStreamCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_streams.begin(), m_streams.end(),
                                          [](const auto& s) { return s->record.bOpen; }));
}

int SimulatedWaveOut::QueuedBuffers() const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const auto& s : m_streams) n += s->queue.size();
    return static_cast<int>(n);
}

int SimulatedWaveOut::ProtocolErrors() const {
    std::lock_guard lock(m_mutex);
    return m_nErrors;
}

int SimulatedWaveOut::OpenCalls() const {
    std::lock_guard lock(m_mutex);
    return m_nOpenCalls;
}

int SimulatedWaveOut::NumDevsCalls() const {
    std::lock_guard lock(m_mutex);
    return m_nNumDevsCalls;
}

SimulatedWaveOut::SimStream* SimulatedWaveOut::Find(HWAVEOUT hwo) {
    for (auto& s : m_streams) {
        if (reinterpret_cast<HWAVEOUT>(s.get()) == hwo && s->record.bOpen) return s.get();
    }
    ++m_nErrors;
    return nullptr;
}

uint32_t SimulatedWaveOut::GetNumDevs() {
    std::lock_guard lock(m_mutex);
    ++m_nNumDevsCalls;
    return m_nDevs;
}

MMRESULT SimulatedWaveOut::Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                                uintptr_t dwInstance) {
    std::lock_guard lock(m_mutex);
    ++m_nOpenCalls;
    if (m_nDevs == 0) return MMSYSERR_BADDEVICEID;
    if (!pwfx || !phwo || !callback) return MMSYSERR_INVALPARAM;
    if (m_bRefuseOpens || !IsPlayablePcmFormat(*pwfx)) return WAVERR_BADFORMAT;
    auto pStream = std::make_unique<SimStream>();
    pStream->record.wfx = *pwfx;
    pStream->record.openedAtMs = m_nowMs;
    pStream->callback = callback;
    pStream->dwInstance = dwInstance;
    *phwo = reinterpret_cast<HWAVEOUT>(pStream.get());
    m_streams.push_back(std::move(pStream));
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWaveOut::PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    std::lock_guard lock(m_mutex);
    if (!Find(hwo) || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWaveOut::UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    std::lock_guard lock(m_mutex);
    if (!Find(hwo) || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    if (pwh->dwFlags & WHDR_INQUEUE) {
        ++m_nErrors;
        return WAVERR_STILLPLAYING;
    }
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWaveOut::Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    std::lock_guard lock(m_mutex);
    SimStream* s = Find(hwo);
    if (!s || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALHANDLE;
    if (!(pwh->dwFlags & WHDR_PREPARED) || (pwh->dwFlags & WHDR_INQUEUE)) {
        ++m_nErrors;
        return WAVERR_UNPREPARED;
    }
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    s->record.bytes.insert(s->record.bytes.end(), pwh->lpData, pwh->lpData + pwh->dwBufferLength);
    s->record.writeLengths.push_back(pwh->dwBufferLength);
    s->record.written.push_back(pwh);
    s->queue.push_back(pwh);
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWaveOut::Reset(HWAVEOUT hwo) {
    std::unique_lock lock(m_mutex);
    SimStream* s = Find(hwo);
    if (!s) return MMSYSERR_INVALHANDLE;
    ++s->record.nResets;
    for (WAVEHDR* pHeader : s->queue) Finish(*s, pHeader);
    s->queue.clear();
    s->headPlayed = 0;
    DeliverAndWait(lock);
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWaveOut::Close(HWAVEOUT hwo) {
    std::lock_guard lock(m_mutex);
    SimStream* s = Find(hwo);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (m_bFailCloses) return MMSYSERR_ERROR;
    if (!s->queue.empty()) {
        ++m_nErrors;
        return WAVERR_STILLPLAYING;
    }
    s->record.bOpen = false;
    return MMSYSERR_NOERROR;
}
