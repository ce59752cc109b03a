#pragma once
// Passes every call on to another wave output and records, per stream, the
// buffers written and the order in which they came back.

#include <memory>
#include <mutex>
#include <vector>

#include "platform/WaveOut.h"

class RecordingWaveOut final : public IWaveOut {
public:
    struct Record {
        WaveOutCallback callback = nullptr;
        uintptr_t dwInstance = 0;
        HWAVEOUT hwo = nullptr;
        std::vector<const WAVEHDR*> written;
        std::vector<const WAVEHDR*> done;
        uint64_t bytesWritten = 0;
        bool bOpen = false;
        bool bCallbackOnCallerThread = false;
        RecordingWaveOut* pOwner = nullptr;
    };

    explicit RecordingWaveOut(IWaveOut& inner) : m_inner(inner) {}

    int OpenStreams() const;
    std::vector<Record> Streams() const;

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
    static void Trampoline(HWAVEOUT hwo, uint32_t uMsg, uintptr_t dwInstance, uintptr_t p1,
                           uintptr_t p2);
    Record* FindLocked(HWAVEOUT hwo);

    IWaveOut& m_inner;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Record>> m_records;
    static thread_local bool t_bInCall;
};
