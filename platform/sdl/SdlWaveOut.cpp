#include "platform/sdl/SdlWaveOut.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "platform/sdl/AudioMixer.h"
#include "platform/sdl/WavFileSink.h"

namespace {

constexpr int kFileRate = 48000;

// The power of two nearest to 10 ms at this rate.
Uint16 BufferFrames(int rate) {
    Uint16 frames = 64;
    while (frames * 2 <= rate / 100 + rate / 300) frames *= 2;
    return frames;
}

// SDL keeps its error text per thread and frees it only for threads that SDL
// made; a caller's thread would leak it, so each entry that may set an error
// drops it on the way out.
struct DropThreadErrors {
    ~DropThreadErrors() { SDL_TLSCleanup(); }
};

}  // namespace

void SdlWaveOut::AudioCallback(void* pUser, uint8_t* pStream, int len) {
    static_cast<SdlWaveOut*>(pUser)->m_pMixer->Mix(reinterpret_cast<float*>(pStream),
                                                   len / (2 * static_cast<int>(sizeof(float))));
}

SdlWaveOut::SdlWaveOut() {
    // SIGINT and SIGTERM belong to the program, which ends in order on them;
    // SDL would turn them into quit events that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (const char* path = std::getenv("ZARNDEMO_AUDIO_FILE"); path && *path) m_filePath = path;
}

SdlWaveOut::~SdlWaveOut() {
    if (m_deviceId) SDL_CloseAudioDevice(m_deviceId);  // waits for a running callback
    m_pSink.reset();
    m_pMixer.reset();
    if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

uint32_t SdlWaveOut::GetNumDevs() {
    DropThreadErrors dropErrors;
    std::lock_guard lock(m_mutex);
    if (!m_bProbed) {
        m_bProbed = true;
        if (!m_filePath.empty()) {
            m_nDevs = 1;
        } else if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            std::fprintf(stderr, "sound: no audio output (%s); clips will not sound\n",
                         SDL_GetError());
        } else {
            m_bSdlAudio = true;
            const int n = SDL_GetNumAudioDevices(0);
            // A driver that cannot list its devices may still have a default one.
            m_nDevs = n < 0 ? 1 : static_cast<uint32_t>(n);
            if (m_nDevs == 0)
                std::fprintf(stderr,
                             "sound: no audio output device (driver %s); clips will not sound\n",
                             SDL_GetCurrentAudioDriver());
        }
    }
    return m_bStartFailed ? 0 : m_nDevs;
}

bool SdlWaveOut::StartOutput() {
    if (m_pMixer) return true;
    if (m_bStartFailed) return false;
    if (!m_filePath.empty()) {
        m_pMixer = std::make_unique<AudioMixer>(kFileRate);
        m_pSink = std::make_unique<WavFileSink>(*m_pMixer, m_filePath);
        if (!m_pSink->Ok()) {
            m_pSink.reset();
            m_pMixer.reset();
            m_bStartFailed = true;
            return false;
        }
        return true;
    }

    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = BufferFrames(want.freq);
    want.callback = AudioCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_deviceId = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_deviceId == 0) {
        std::fprintf(stderr, "sound: cannot open the audio output (%s); clips will not sound\n",
                     SDL_GetError());
        m_bStartFailed = true;
        return false;
    }
    // The device starts paused, so the callback sees the mixer only once it
    // exists at the device's own rate.
    m_pMixer = std::make_unique<AudioMixer>(have.freq);
    SDL_PauseAudioDevice(m_deviceId, 0);
    return true;
}

MMRESULT SdlWaveOut::Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                          uintptr_t dwInstance) {
    DropThreadErrors dropErrors;
    if (!phwo || !pwfx || !callback) return MMSYSERR_INVALPARAM;
    if (!IsPlayablePcmFormat(*pwfx)) return WAVERR_BADFORMAT;
    if (GetNumDevs() == 0) return MMSYSERR_NODRIVER;
    AudioMixer* pMixer = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (!StartOutput()) return MMSYSERR_NODRIVER;
        pMixer = m_pMixer.get();
    }
    return pMixer->Open(phwo, *pwfx, callback, dwInstance);
}

AudioMixer* SdlWaveOut::CurrentMixer() {
    std::lock_guard lock(m_mutex);
    return m_pMixer.get();
}

// The stream calls go straight to the mixer, which knows its handles; before
// the first open there is no stream to name.
MMRESULT SdlWaveOut::PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    AudioMixer* pMixer = CurrentMixer();
    if (cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return pMixer ? pMixer->Prepare(hwo, pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT SdlWaveOut::UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    AudioMixer* pMixer = CurrentMixer();
    if (cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return pMixer ? pMixer->Unprepare(hwo, pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT SdlWaveOut::Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) {
    AudioMixer* pMixer = CurrentMixer();
    if (cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return pMixer ? pMixer->Write(hwo, pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT SdlWaveOut::Reset(HWAVEOUT hwo) {
    AudioMixer* pMixer = CurrentMixer();
    return pMixer ? pMixer->Reset(hwo) : MMSYSERR_INVALHANDLE;
}

MMRESULT SdlWaveOut::Close(HWAVEOUT hwo) {
    AudioMixer* pMixer = CurrentMixer();
    return pMixer ? pMixer->Close(hwo) : MMSYSERR_INVALHANDLE;
}
