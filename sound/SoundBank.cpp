#include "sound/SoundBank.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

constinit SoundBankLock g_csSoundBank;

namespace {

using Lock = std::lock_guard<SoundBankLock>;

}  // namespace

CSoundBank::CSoundBank() : CSoundBank(nullptr) {}

CSoundBank::CSoundBank(IPassDriver* pDriver) : m_pDriver(pDriver) {
    m_nClipCount = 0;
    m_bStarted = 0;
    m_bRunning = 0;

    // The worker is created held: it runs nothing until the first accepted
    // Play opens the gate, and a bank destroyed before that discards it.
    if (!m_pDriver) {
        try {
            m_hThread = std::thread([this] {
                m_startGate.acquire();
                if (!m_bDiscard) PlayThreadProc(this);
            });
        } catch (const std::system_error& e) {
            std::fprintf(stderr,
                         "sound bank: cannot create the play thread (%s); nothing will sound\n",
                         e.what());
        }
    }

    for (int j = 0; j < MAX_WAVE_CLIPS; ++j) {
        WaveSlot& slot = m_Slots[j];
        slot.hWaveOut = nullptr;
        slot.pClip = nullptr;
        slot.pHeaders = m_pDriver
                            ? m_pDriver->AllocBufferPool(j, WAVE_CHUNK_BYTES, WAVE_BUFFERS_PER_SLOT)
                            : AllocBufferPool(WAVE_CHUNK_BYTES, WAVE_BUFFERS_PER_SLOT);
        slot.nFreeBuffers = WAVE_BUFFERS_PER_SLOT;
        slot.nNextHeader = 0;
        slot.bInUse = 0;
        slot.dwBytesSent = 0;
    }
    for (WaveClip& clip : m_Clips) {
        clip.pData = nullptr;
        clip.dwDataLength = 0;
        clip.wfx = {};
        clip.bPlayRequest = 0;
    }
}

CSoundBank::~CSoundBank() {
    StopWorker();
    for (uint32_t i = 0; i < m_nClipCount; ++i) std::free(m_Clips[i].pData);
    for (WaveSlot& slot : m_Slots) FreeBufferPool(slot.pHeaders);
    // g_csSoundBank stays: it belongs to the process.
}

// A released worker ends after its pass with its streams reset and closed; a
// held one is discarded without a pass.
void CSoundBank::StopWorker() {
    if (m_bStarted) {
        {
            Lock lock(g_csSoundBank);
            m_bRunning = 0;
            m_bWake = 1;
        }
        m_wakeCv.notify_one();
        if (m_pDriver) {
            m_pDriver->Stop(*this);
            StopStreams();
        }
    } else {
        m_bDiscard = 1;
        m_startGate.release();
    }
    // The worker's last pass resets and closes its streams before it ends, so
    // after the join no callback can touch the slots.
    if (m_hThread.joinable()) m_hThread.join();
}

int CSoundBank::Play(uint32_t index) {
    if (index >= m_nClipCount) return -1;
    // Only a newly raised request wakes the worker: one that is still
    // waiting for a slot or a device must not make it pass again and again.
    bool bWake = false;
    {
        Lock lock(g_csSoundBank);
        if (!m_Clips[index].bPlayRequest) {
            m_Clips[index].bPlayRequest = 1;
            m_bWake = 1;
            bWake = true;
        }
    }
    if (bWake) m_wakeCv.notify_one();
    if (!m_bStarted) {
        // The worker has not run yet, so these need no lock; the gate's
        // release publishes them.
        m_bStarted = 1;
        m_bRunning = 1;
        if (m_pDriver)
            m_pDriver->Start(*this);
        else
            m_startGate.release();
    }
    return 1;
}

uint32_t CSoundBank::PlayThreadProc(CSoundBank* pBank) {
    int32_t bRun = 1;
    while (bRun) {
        pBank->RunPass();
        // Waits out the pass period unless a request came meanwhile, during
        // the pass too: the wake is cleared only here, before the next pass.
        std::unique_lock lock(g_csSoundBank.Mutex());
        pBank->m_wakeCv.wait_for(lock, std::chrono::milliseconds(WAVE_PASS_PERIOD_MS),
                                 [pBank] { return pBank->m_bWake != 0; });
        pBank->m_bWake = 0;
        bRun = pBank->m_bRunning;
    }
    pBank->StopStreams();
    return PLAY_THREAD_EXIT_CODE;
}

void CSoundBank::RunPass() {
    TakeRequest();
    for (WaveSlot& slot : m_Slots) {
        if (slot.bInUse) FeedSlot(slot);
    }
}

// Starts the lowest-numbered raised request in the first free slot whose
// stream opens. At most one request per pass.
void CSoundBank::TakeRequest() {
    WaveClip* pClip = nullptr;
    for (uint32_t i = 0; i < m_nClipCount && !pClip; ++i) {
        Lock lock(g_csSoundBank);
        if (m_Clips[i].bPlayRequest) pClip = &m_Clips[i];
    }
    if (!pClip) return;

    for (WaveSlot& slot : m_Slots) {
        if (slot.bInUse || !slot.pHeaders) continue;
        MMRESULT mmResult = MMSYSERR_NOERROR;
        if (OpenOutput(&slot.hWaveOut, &pClip->wfx, &slot.nFreeBuffers, &mmResult) == 1) {
            slot.pClip = pClip;
            slot.bInUse = 1;
            Lock lock(g_csSoundBank);
            pClip->bPlayRequest = 0;
            return;
        }
        if (mmResult == WAVERR_BADFORMAT) {
            // This clip can never sound here; left raised it would hold back
            // every higher-numbered clip for good.
            const WAVEFORMATEX& wfx = pClip->wfx;
            std::fprintf(stderr,
                         "sound bank: clip %d has a format the output refuses (%u channels, %u Hz, "
                         "%u bits, block %u); request dropped\n",
                         static_cast<int>(pClip - m_Clips), wfx.nChannels, wfx.nSamplesPerSec,
                         wfx.wBitsPerSample, wfx.nBlockAlign);
            Lock lock(g_csSoundBank);
            pClip->bPlayRequest = 0;
            return;
        }
    }
    // No slot opened (all busy, or no device): the request stays raised.
}

// Writes at most one chunk to the slot's stream, or closes the stream once
// the whole clip has been written and every buffer has come back.
void CSoundBank::FeedSlot(WaveSlot& slot) {
    IWaveOut& out = platform::WaveOut();
    int32_t nFree;
    {
        Lock lock(g_csSoundBank);
        nFree = slot.nFreeBuffers;
    }
    if (nFree < 1) return;

    WAVEHDR* pHeader = &slot.pHeaders[slot.nNextHeader];
    if (pHeader->dwFlags & WHDR_PREPARED)
        out.UnprepareHeader(slot.hWaveOut, pHeader, sizeof(WAVEHDR));

    const uint32_t dwRemaining = slot.pClip->dwDataLength - slot.dwBytesSent;
    if (dwRemaining == 0) {
        if (nFree != WAVE_BUFFERS_PER_SLOT) return;  // draining
        for (int k = 0; k < WAVE_BUFFERS_PER_SLOT; ++k) {
            if (slot.pHeaders[k].dwFlags & WHDR_PREPARED)
                out.UnprepareHeader(slot.hWaveOut, &slot.pHeaders[k], sizeof(WAVEHDR));
        }
        if (CloseOutput(slot.hWaveOut) == 1) {
            slot.nNextHeader = 0;
            slot.bInUse = 0;
            slot.dwBytesSent = 0;
            slot.pClip = nullptr;
            slot.hWaveOut = nullptr;
        }
        return;
    }

    const uint32_t n = dwRemaining >= WAVE_CHUNK_BYTES ? WAVE_CHUNK_BYTES : dwRemaining;
    std::memcpy(pHeader->lpData, slot.pClip->pData + slot.dwBytesSent, n);
    pHeader->dwBufferLength = n;
    slot.dwBytesSent += n;
    out.PrepareHeader(slot.hWaveOut, pHeader, sizeof(WAVEHDR));
    out.Write(slot.hWaveOut, pHeader, sizeof(WAVEHDR));
    {
        Lock lock(g_csSoundBank);
        --slot.nFreeBuffers;
    }
    slot.nNextHeader = (slot.nNextHeader + 1) % WAVE_BUFFERS_PER_SLOT;
}

// The worker's end: every sounding stream stops at once and is closed.
void CSoundBank::StopStreams() {
    IWaveOut& out = platform::WaveOut();
    for (WaveSlot& slot : m_Slots) {
        if (!slot.bInUse) continue;
        if (out.Reset(slot.hWaveOut) == MMSYSERR_NOERROR) CloseOutput(slot.hWaveOut);
    }
}

int CSoundBank::OpenOutput(HWAVEOUT* phWaveOut, const WAVEFORMATEX* pwfx, int32_t* pnFreeBuffers,
                           MMRESULT* pmmResult) {
    IWaveOut& out = platform::WaveOut();
    MMRESULT mmResult = MMSYSERR_NODRIVER;
    if (out.GetNumDevs() != 0)
        mmResult = out.Open(phWaveOut, pwfx, &CSoundBank::WaveOutProc,
                            reinterpret_cast<uintptr_t>(pnFreeBuffers));
    if (pmmResult) *pmmResult = mmResult;
    return mmResult == MMSYSERR_NOERROR ? 1 : -1;
}

int CSoundBank::CloseOutput(HWAVEOUT hWaveOut) {
    return platform::WaveOut().Close(hWaveOut) == MMSYSERR_NOERROR ? 1 : -1;
}

WAVEHDR* CSoundBank::AllocBufferPool(uint32_t dwBufferBytes, int nCount) {
    const size_t headerBytes = static_cast<size_t>(nCount) * sizeof(WAVEHDR);
    auto* pBlock = static_cast<uint8_t*>(
        std::calloc(headerBytes + static_cast<size_t>(nCount) * dwBufferBytes, 1));
    if (!pBlock) return nullptr;
    auto* pHeaders = reinterpret_cast<WAVEHDR*>(pBlock);
    for (int i = 0; i < nCount; ++i) {
        pHeaders[i].dwBufferLength = dwBufferBytes;
        pHeaders[i].lpData =
            reinterpret_cast<char*>(pBlock + headerBytes + static_cast<size_t>(i) * dwBufferBytes);
    }
    return pHeaders;
}

void CSoundBank::FreeBufferPool(WAVEHDR* pPool) { std::free(pPool); }

void CSoundBank::WaveOutProc(HWAVEOUT, uint32_t uMsg, uintptr_t dwInstance, uintptr_t, uintptr_t) {
    if (uMsg != MM_WOM_DONE) return;
    Lock lock(g_csSoundBank);
    ++*reinterpret_cast<int32_t*>(dwInstance);
}
