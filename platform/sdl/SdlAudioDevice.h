#pragma once
// The output device on SDL2's audio subsystem (see AudioDevice.h). The
// subsystem is started by Probe and ended with this object.

#include <cstdint>
#include <string>

#include "platform/sdl/AudioDevice.h"

class SdlAudioDevice final : public IAudioDevice {
public:
    SdlAudioDevice();
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    int Probe(std::string& strError) override;
    bool Open(const Spec& spec, int& nRate, std::string& strError) override;
    void Start() override;
    bool Lost() override;
    void Close() override;
    int64_t NowMs() override;
    std::string Driver() override;

private:
    static void SdlCallback(void* pUser, uint8_t* pStream, int len);

    bool m_bSdlAudio = false;  // the audio subsystem is up
    uint32_t m_deviceId = 0;
    Spec m_spec;
};
