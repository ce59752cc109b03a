#pragma once
// CSoundBank: up to 21 WAV clips held in memory, any of them played on request,
// up to 21 at once. Play only raises a flag and wakes the worker, a thread
// that gives each request a slot with an output stream of its own and feeds
// the clip in 8192-byte chunks through a ring of 20 buffers. Between passes
// it waits WAVE_PASS_PERIOD_MS, or less when a new request comes.
//
// Threads: the owner constructs, loads (AddWave), plays and destroys; the
// worker makes every call to the wave output; the output's callback thread only
// counts returned buffers. One bank at a time is the design.
// A bank given a pass driver (sound/PassDriver.h) has no worker thread: the
// driver runs its passes instead, in its own time.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <semaphore>
#include <thread>

#include "platform/WaveOut.h"
#include "sound/PassDriver.h"
#include "sound/WaveClip.h"
#include "sound/WaveHeader.h"
#include "sound/WaveSlot.h"

constexpr int MAX_WAVE_CLIPS = 21;
constexpr uint32_t WAVE_CHUNK_BYTES = 8192;
constexpr int WAVE_BUFFERS_PER_SLOT = 20;
constexpr uint32_t PLAY_THREAD_EXIT_CODE = 0x0ABECEDA;
constexpr int WAVE_PASS_PERIOD_MS = 10;

// The process-wide lock of the sound bank: play requests, free-buffer counts
// and the run flag. It is never destroyed, so no bank and no late callback
// can ever find it gone.
class SoundBankLock {
public:
    constexpr SoundBankLock() : m_mutex() {}
    ~SoundBankLock() {}  // deliberately leaves the mutex alive
    SoundBankLock(const SoundBankLock&) = delete;
    SoundBankLock& operator=(const SoundBankLock&) = delete;
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    // For a condition variable's wait.
    std::mutex& Mutex() { return m_mutex; }

private:
    union {
        std::mutex m_mutex;
    };
};
extern SoundBankLock g_csSoundBank;

class CSoundBank {
public:
    CSoundBank();
    virtual ~CSoundBank();
    CSoundBank(const CSoundBank&) = delete;
    CSoundBank& operator=(const CSoundBank&) = delete;

    // Loads the WAV file at path as the next clip; returns the new clip count,
    // or -1 when the file is refused.
    int AddWave(const char* path);
    // Raises clip index's play request; 1 when accepted, -1 when there is no
    // such clip. Never waits on the output.
    int Play(uint32_t index);

    // pDriver: runs the passes instead of a worker thread, and destruction
    // stops the streams on the owner's thread; null for the worker. Not
    // owned; it outlives the bank.
    explicit CSoundBank(IPassDriver* pDriver);
    // One pass: take a request, feed every sounding slot. The worker's or the
    // driver's.
    void RunPass();
    // Safe to read only when no worker runs (a pass driver, or stopped).
    const WaveSlot& Slot(int j) const { return m_Slots[j]; }
    const WaveClip& Clip(int i) const { return m_Clips[i]; }
    uint32_t ClipCount() const { return m_nClipCount; }

    static int OpenOutput(HWAVEOUT* phWaveOut, const WAVEFORMATEX* pwfx, int32_t* pnFreeBuffers,
                          MMRESULT* pmmResult = nullptr);
    static int CloseOutput(HWAVEOUT hWaveOut);
    static WAVEHDR* AllocBufferPool(uint32_t dwBufferBytes, int nCount);
    static void FreeBufferPool(WAVEHDR* pPool);
    static uint32_t PlayThreadProc(CSoundBank* pBank);
    static void WaveOutProc(HWAVEOUT hwo, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                            uintptr_t dwParam2);

private:
    void TakeRequest();
    void FeedSlot(WaveSlot& slot);
    void StopWorker();
    void StopStreams();

    WaveSlot m_Slots[MAX_WAVE_CLIPS];
    WaveClip m_Clips[MAX_WAVE_CLIPS];
    uint32_t m_nClipCount;  // owner writes before the worker is released
    int32_t m_bRunning;     // under g_csSoundBank once the worker runs
    std::thread m_hThread;
    int32_t m_bStarted;  // owner thread only

    // The held worker waits here; m_bDiscard (written before the release)
    // tells it to return without a pass.
    std::binary_semaphore m_startGate{0};
    int32_t m_bDiscard = 0;
    IPassDriver* m_pDriver = nullptr;

    // Under g_csSoundBank: set when a request is newly raised or the worker
    // is to stop, so that its wait between passes ends at once.
    int32_t m_bWake = 0;
    std::condition_variable m_wakeCv;
};
