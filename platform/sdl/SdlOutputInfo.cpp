#include "platform/sdl/SdlOutputInfo.h"

#include <SDL.h>

#include <cstdlib>

SoundOutputInfo DescribeSoundOutput() {
    SoundOutputInfo info;
    if (const char* path = std::getenv("ZARNDEMO_AUDIO_FILE"); path && *path) {
        info.bFound = true;
        info.strDriver = "file";
        info.strDevice = path;
        info.nRate = 48000;
        return info;
    }
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        info.strWhy = SDL_GetError();
        SDL_TLSCleanup();
        return info;
    }
    info.strDriver = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
    char* pszName = nullptr;
    SDL_AudioSpec spec{};
    if (SDL_GetDefaultAudioInfo(&pszName, &spec, 0) == 0) {
        info.bFound = true;
        info.strDevice = pszName ? pszName : "default device";
        info.nRate = spec.freq;
        SDL_free(pszName);
    } else if (SDL_GetNumAudioDevices(0) > 0) {
        info.bFound = true;
        const char* pszFirst = SDL_GetAudioDeviceName(0, 0);
        info.strDevice = pszFirst ? pszFirst : "device 0";
    } else {
        // Some drivers list nothing yet open their default device.
        SDL_AudioSpec want{};
        want.freq = 48000;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = 256;
        SDL_AudioSpec have{};
        if (const SDL_AudioDeviceID id =
                SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE)) {
            info.bFound = true;
            info.strDevice = "default device";
            info.nRate = have.freq;
            SDL_CloseAudioDevice(id);
        } else {
            info.strWhy = SDL_GetError();
        }
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_TLSCleanup();
    return info;
}
