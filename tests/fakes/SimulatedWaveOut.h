#pragma once
// A wave output for tests. Streams play only when the test advances the
// clock: each consumes its format's nAvgBytesPerSec. Done-callbacks run on a
// thread of the fake's own, and Advance, FinishAll and Reset return only when
// they have run. It can report no device, refuse opens and fail closes, and
// it counts misuse of the contract (writing an unprepared or queued header,
// closing a busy stream, calling into a closed stream).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/WaveOut.h"

class SimulatedWaveOut final : public IWaveOut {
public:
    struct StreamRecord {
        WAVEFORMATEX wfx{};
        std::vector<uint8_t> bytes;           // everything written, in order
        std::vector<uint32_t> writeLengths;   // one entry per write
        std::vector<const WAVEHDR*> written;  // headers in write order
        std::vector<const WAVEHDR*> done;     // headers in callback order
        int nResets = 0;
        bool bOpen = true;
        uint64_t openedAtMs = 0;
    };

    SimulatedWaveOut();
    ~SimulatedWaveOut() override;

    // Failure switches.
    void SetNumDevs(uint32_t n);
    void SetRefuseOpens(bool refuse);  // every open gets WAVERR_BADFORMAT
    void SetFailCloses(bool fail);     // every close gets MMSYSERR_ERROR

    // Plays every open stream for ms milliseconds of simulated time.
    void Advance(uint32_t ms);
    // Finishes every queued buffer.
    void FinishAll();

    size_t StreamCount() const;
    StreamRecord Stream(size_t index) const;  // in order of opening
    int OpenStreamCount() const;
    int QueuedBuffers() const;
    int ProtocolErrors() const;
    int OpenCalls() const;
    int NumDevsCalls() const;

    uint32_t GetNumDevs() override;
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                  uintptr_t dwInstance) override;
    MMRESULT PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT Reset(HWAVEOUT hwo) override;
    MMRESULT Close(HWAVEOUT hwo) override;

private:
    struct SimStream;
    struct Done {
        SimStream* pStream;
        WAVEHDR* pHeader;
    };

    SimStream* Find(HWAVEOUT hwo);  // under m_mutex; counts an error when unknown
    void Finish(SimStream& stream, WAVEHDR* pHeader);  // under m_mutex
    void DeliverAndWait(std::unique_lock<std::mutex>& lock);
    void CallbackThread();

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::unique_ptr<SimStream>> m_streams;
    std::deque<Done> m_pending;
    uint64_t m_nPosted = 0;
    uint64_t m_nDelivered = 0;
    uint64_t m_nowMs = 0;
    uint32_t m_nDevs = 1;
    bool m_bRefuseOpens = false;
    bool m_bFailCloses = false;
    bool m_bQuit = false;
    int m_nErrors = 0;
    int m_nOpenCalls = 0;
    int m_nNumDevsCalls = 0;
    std::thread m_thread;
};
