#include "platform/WaveOut.h"

namespace {

// Used until a backend is installed: there is no device, so nothing opens.
class NoWaveOut final : public IWaveOut {
public:
    uint32_t GetNumDevs() override { return 0; }
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX*, WaveOutCallback, uintptr_t) override {
        if (phwo) *phwo = nullptr;
        return MMSYSERR_NODRIVER;
    }
    MMRESULT PrepareHeader(HWAVEOUT, WAVEHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT UnprepareHeader(HWAVEOUT, WAVEHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT Write(HWAVEOUT, WAVEHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT Reset(HWAVEOUT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT Close(HWAVEOUT) override { return MMSYSERR_INVALHANDLE; }
};

NoWaveOut g_noWaveOut;
IWaveOut* g_pWaveOut = &g_noWaveOut;

}  // namespace

bool IsPlayablePcmFormat(const WAVEFORMATEX& wfx) {
    if (wfx.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (wfx.nChannels < 1 || wfx.nChannels > 8) return false;
    if (wfx.nSamplesPerSec < 8000 || wfx.nSamplesPerSec > 192000) return false;
    switch (wfx.wBitsPerSample) {
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return false;
    }
    return wfx.nBlockAlign == wfx.nChannels * wfx.wBitsPerSample / 8;
}

namespace platform {

IWaveOut& WaveOut() { return *g_pWaveOut; }

void SetWaveOut(IWaveOut* service) { g_pWaveOut = service ? service : &g_noWaveOut; }

}  // namespace platform
