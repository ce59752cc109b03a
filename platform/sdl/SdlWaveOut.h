#pragma once
// The wave output on SDL2: one output device (float stereo at the device's
// rate, 256 frames a buffer), opened when the first stream opens and kept
// open, fed by one mixer for every stream. Until it has opened, GetNumDevs
// looks for an output again at most once a second, so a sound server or card
// that comes after the start is used; the first failure is said once on
// standard error. With ZARNDEMO_AUDIO_FILE=path.wav in the environment the
// same mix goes to that file instead (16-bit stereo, 48000 Hz, paced in real
// time; the header is completed when this object is destroyed).
// With Options::bPulled there is neither device nor file: the owner pulls the
// same mix through IPulledMix, 16-bit stereo at 48000 Hz, in its own time.
//
// Install it with platform::SetWaveOut for the life of the program.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PulledMix.h"
#include "platform/WaveOut.h"
#include "platform/sdl/AudioMixer.h"

class WavFileSink;

class SdlWaveOut final : public IWaveOut, public IPulledMix {
public:
    struct Options {
        // Frames of one device buffer; 0 takes the default.
        int nBufferFrames = 0;
        // A steady clock in milliseconds, for tests; empty takes the system's.
        std::function<int64_t()> nowMs;
        // Handed to the mixer (see AudioMixer.h).
        AudioMixer::TakeProbe probe{};
        // No device and no file: the mix is pulled through IPulledMix.
        bool bPulled = false;
    };

    SdlWaveOut();
    explicit SdlWaveOut(Options options);
    ~SdlWaveOut() override;
    SdlWaveOut(const SdlWaveOut&) = delete;
    SdlWaveOut& operator=(const SdlWaveOut&) = delete;

    uint32_t GetNumDevs() override;
    MMRESULT Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                  uintptr_t dwInstance) override;
    MMRESULT PrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT UnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT Write(HWAVEOUT hwo, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT Reset(HWAVEOUT hwo) override;
    MMRESULT Close(HWAVEOUT hwo) override;

    // Pulled mode only; silence until the first stream has opened.
    int SampleRate() const override;
    void Render(int16_t* pOut, int nFrames) override;
    bool Idle() override;

    // For measurements; null until the first stream has opened.
    AudioMixer* Mixer() { return CurrentMixer(); }

private:
    int64_t NowMs() const;
    void Probe();                                         // under m_mutex, with no output running
    bool StartOutput();                                   // under m_mutex
    void TellOnce(const char* what, const char* detail);  // one line per object, ever
    AudioMixer* CurrentMixer();
    static void AudioCallback(void* pUser, uint8_t* pStream, int len);

    Options m_options;
    std::mutex m_mutex;        // guards the start of the output
    std::string m_filePath;    // ZARNDEMO_AUDIO_FILE, empty for the device
    bool m_bSdlAudio = false;  // SDL's audio subsystem is up
    int64_t m_nextProbeMs = INT64_MIN;
    uint32_t m_nDevs = 0;
    bool m_bTold = false;  // the one line on standard error is out
    uint32_t m_deviceId = 0;
    std::unique_ptr<AudioMixer> m_pMixer;
    std::unique_ptr<WavFileSink> m_pSink;
    std::vector<float> m_pulled;  // one pulled block as the mixer gives it
};
