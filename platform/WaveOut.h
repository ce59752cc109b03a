#pragma once
// Wave output: PCM streams, each fed with a queue of caller-owned buffers.
//
// Callers rely on:
// - GetNumDevs returns 0 when there is no output at all; any other value
//   means Open may succeed.
// - Open(&h, format, callback, instance) returns MMSYSERR_NOERROR (0) and a
//   handle when the stream is open. WAVERR_BADFORMAT means this format can
//   never be played here (it is worth no retry); any other non-zero result is
//   a failure that may pass (no device, every stream in use).
//   Accepted formats: PCM, 1 to 8 channels, 8, 16, 24 or 32 bits, 8 kHz to
//   192 kHz, nBlockAlign = nChannels * wBitsPerSample / 8.
// - PrepareHeader sets WHDR_PREPARED in dwFlags; UnprepareHeader clears it
//   (WAVERR_STILLPLAYING while the buffer is queued). Write queues a prepared
//   header's dwBufferLength bytes at lpData behind those already queued
//   (WAVERR_UNPREPARED when it is not prepared). The caller keeps the header
//   and its bytes untouched until the buffer comes back.
// - The callback receives MM_WOM_DONE exactly once for every written buffer,
//   with the instance value given to Open and the header's address as
//   param1, in the order in which that stream's buffers were written. It is
//   called on a thread of the output's own, never the caller's, and must only
//   record the fact (take at most a short lock); it must not call back into
//   the output. No other message is sent.
// - Reset stops the stream at once and returns every queued buffer through
//   the callback, in written order; when it returns, all those callbacks have
//   run. It returns 0.
// - Close fails with WAVERR_STILLPLAYING while any written buffer has not come
//   back; after a successful close no callback is made for that stream.
// The stream calls are made from one thread per stream, never from inside the
// callback.

#include <cstddef>
#include <cstdint>

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;
constexpr uint32_t MM_WOM_DONE = 0x3BD;

struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
// The first 16 bytes are those of a WAV file's "fmt " chunk, in that order.
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);

struct WAVEHDR {
    char* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WAVEHDR* lpNext;  // the output's own: links the stream's queue
    uintptr_t reserved;
};
// Headers sit in an array at the start of a buffer pool with the data right
// behind them; the data must stay aligned for 32-bit samples.
static_assert(sizeof(WAVEHDR) % alignof(WAVEHDR) == 0);
static_assert(sizeof(WAVEHDR) % 4 == 0);

struct WaveOutStream;
using HWAVEOUT = WaveOutStream*;
using WaveOutCallback = void (*)(HWAVEOUT hwo, uint32_t uMsg, uintptr_t dwInstance,
                                 uintptr_t dwParam1, uintptr_t dwParam2);

class IWaveOut {
public:
    virtual ~IWaveOut() = default;
    virtual uint32_t GetNumDevs() = 0;
    virtual MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                          uintptr_t dwInstance) = 0;
    virtual MMRESULT PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT Reset(HWAVEOUT hwo) = 0;
    virtual MMRESULT Close(HWAVEOUT hwo) = 0;
};

// The format check every output applies at Open.
bool IsPlayablePcmFormat(const WAVEFORMATEX& wfx);

namespace platform {
// The process's wave output; without one installed there is no device.
// Not owned.
IWaveOut& WaveOut();
void SetWaveOut(IWaveOut* service);
}  // namespace platform
