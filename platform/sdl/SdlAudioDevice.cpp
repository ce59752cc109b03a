#include "platform/sdl/SdlAudioDevice.h"

#include <SDL.h>

#include <chrono>

namespace {

// SDL keeps its error text per thread and frees it only for threads that SDL
// made; a caller's thread would leak it, so each entry that may set an error
// drops it on the way out.
struct DropThreadErrors {
    ~DropThreadErrors() { SDL_TLSCleanup(); }
};

}  // namespace

SdlAudioDevice::SdlAudioDevice() {
    // SIGINT and SIGTERM belong to the program, which ends in order on them;
    // SDL would turn them into quit events that nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

SdlAudioDevice::~SdlAudioDevice() {
    Close();
    if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlAudioDevice::SdlCallback(void* pUser, uint8_t* pStream, int len) {
    const Spec& spec = static_cast<SdlAudioDevice*>(pUser)->m_spec;
    spec.callback(spec.pUser, reinterpret_cast<float*>(pStream),
                  len / (2 * static_cast<int>(sizeof(float))));
}

int SdlAudioDevice::Probe(std::string& strError) {
    DropThreadErrors dropErrors;
    if (m_bSdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_bSdlAudio = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!m_bSdlAudio) {
        strError = SDL_GetError();
        return 0;
    }
    const int n = SDL_GetNumAudioDevices(0);
    if (n == 0) strError = "no output device on " + Driver();
    return n < 0 ? -1 : n;
}

bool SdlAudioDevice::Open(const Spec& spec, int& nRate, std::string& strError) {
    DropThreadErrors dropErrors;
    m_spec = spec;
    SDL_AudioSpec want{};
    want.freq = spec.nRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(spec.nFrames);
    want.callback = &SdlCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_deviceId = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                     spec.bAllowRateChange ? SDL_AUDIO_ALLOW_FREQUENCY_CHANGE : 0);
    if (m_deviceId == 0) {
        strError = SDL_GetError();
        return false;
    }
    nRate = have.freq;
    return true;
}

void SdlAudioDevice::Start() {
    if (m_deviceId) SDL_PauseAudioDevice(m_deviceId, 0);
}

bool SdlAudioDevice::Lost() {
    return m_deviceId && SDL_GetAudioDeviceStatus(m_deviceId) == SDL_AUDIO_STOPPED;
}

void SdlAudioDevice::Close() {
    if (!m_deviceId) return;
    SDL_CloseAudioDevice(m_deviceId);  // waits for a running callback
    m_deviceId = 0;
}

int64_t SdlAudioDevice::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string SdlAudioDevice::Driver() {
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : "no driver";
}
