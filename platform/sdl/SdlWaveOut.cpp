#include "platform/sdl/SdlWaveOut.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/sdl/AudioMixer.h"
#include "platform/sdl/WavFileSink.h"

namespace {

constexpr int kFileRate = 48000;
constexpr int64_t kReprobeMs = 1000;

// 5.3 ms at 48 kHz. A trigger waits up to one buffer for the next mix, so
// 512 frames were half of its latency. Under heavy load the callback came
// late now and then at 256 frames, and many times more often at 128.
constexpr Uint16 kBufferFrames = 256;

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

SdlWaveOut::SdlWaveOut() : SdlWaveOut(Options{}) {}

SdlWaveOut::SdlWaveOut(Options options) : m_options(std::move(options)) {
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

int64_t SdlWaveOut::NowMs() const {
    if (m_options.nowMs) return m_options.nowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SdlWaveOut::TellOnce(const char* what, const char* detail) {
    if (m_bTold) return;
    m_bTold = true;
    std::fprintf(stderr, "sound: %s (%s); clips will not sound\n", what, detail);
}

// Until an output runs, the bank asks before every open it tries; a sound
// server or card that comes later is found by probing again, at most once a
// second so that waiting requests do not restart SDL's audio a hundred times
// a second.
uint32_t SdlWaveOut::GetNumDevs() {
    DropThreadErrors dropErrors;
    std::lock_guard lock(m_mutex);
    if (!m_pMixer) {
        if (const int64_t now = NowMs(); now >= m_nextProbeMs) {
            m_nextProbeMs = now + kReprobeMs;
            Probe();
        }
    }
    return m_nDevs;
}

void SdlWaveOut::Probe() {
    m_nDevs = 0;
    if (!m_filePath.empty()) {
        m_nDevs = 1;
        return;
    }
    // A fresh start picks the driver and lists the devices anew.
    if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_bSdlAudio = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!m_bSdlAudio) {
        TellOnce("no audio output", SDL_GetError());
        return;
    }
    const int n = SDL_GetNumAudioDevices(0);
    // A driver that cannot list its devices may still have a default one.
    m_nDevs = n < 0 ? 1 : static_cast<uint32_t>(n);
    if (m_nDevs == 0) TellOnce("no audio output device", SDL_GetCurrentAudioDriver());
}

// A failed start counts as no device until the next probe.
bool SdlWaveOut::StartOutput() {
    if (m_pMixer) return true;
    if (m_nDevs == 0) return false;
    if (!m_filePath.empty()) {
        m_pMixer = std::make_unique<AudioMixer>(kFileRate);
        m_pSink = std::make_unique<WavFileSink>(*m_pMixer, m_filePath);
        if (!m_pSink->Ok()) {
            m_pSink.reset();
            m_pMixer.reset();
            m_nDevs = 0;
            return false;
        }
        return true;
    }

    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples =
        m_options.nBufferFrames > 0 ? static_cast<Uint16>(m_options.nBufferFrames) : kBufferFrames;
    want.callback = AudioCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_deviceId = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_deviceId == 0) {
        TellOnce("cannot open the audio output", SDL_GetError());
        m_nDevs = 0;
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
