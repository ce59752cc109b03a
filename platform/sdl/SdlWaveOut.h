#pragma once
// The wave output on SDL2: one output device (float stereo at the device's
// rate, 256 frames a buffer), opened when the first stream opens, fed by one
// mixer for every stream. Until it has opened, GetNumDevs looks for an output
// again at most once a second, so a sound server or card that comes after
// the start is used; the first failure is said once on standard error.
// A device that goes away later (its server restarted, its card pulled out)
// is noticed within a second and said once; it is closed and looked for again
// at most once a second, and reopened at the mixer's rate when it is back.
// Meanwhile the mix is pulled in real time and thrown away, so streams play
// out, their buffers come back and new streams open as before.
// With ZARNDEMO_AUDIO_FILE=path.wav in the environment the same mix goes to
// that file instead (16-bit stereo, 48000 Hz, paced in real time; the header
// is completed when this object is destroyed).
// With Options::bPulled there is neither device nor file: the owner pulls the
// same mix through IPulledMix, 16-bit stereo at 48000 Hz, in its own time.
//
// Install it with platform::SetWaveOut for the life of the program.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/PulledMix.h"
#include "platform/WaveOut.h"
#include "platform/sdl/AudioDevice.h"
#include "platform/sdl/AudioMixer.h"

class WavFileSink;

class SdlWaveOut final : public IWaveOut, public IPulledMix {
public:
    struct Options {
        // Handed to the mixer (see AudioMixer.h).
        AudioMixer::TakeProbe probe{};
        // No device and no file: the mix is pulled through IPulledMix.
        bool bPulled = false;
    };

    // On SDL's own output device.
    SdlWaveOut();
    explicit SdlWaveOut(Options options);
    // On the given device, which outlives this object.
    SdlWaveOut(Options options, IAudioDevice& device);
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

private:
    SdlWaveOut(Options options, std::unique_ptr<IAudioDevice> pOwnDevice, IAudioDevice* pDevice);
    void Probe();                                                // under m_mutex, no output yet
    bool StartOutput();                                          // under m_mutex
    void TellOnce(const char* what, const std::string& detail);  // one line per object, ever
    AudioMixer* CurrentMixer();
    void Watch();   // the watcher thread
    bool Reopen();  // the watcher's, with the device closed
    IAudioDevice::Spec DeviceSpec(int nRate, bool bAllowRateChange);
    static void DeviceCallback(void* pUser, float* pOut, int nFrames);

    const std::unique_ptr<IAudioDevice> m_pOwnDevice;  // null when handed one
    IAudioDevice& m_device;
    Options m_options;
    std::string m_filePath;  // ZARNDEMO_AUDIO_FILE, empty for the device

    // Guarded by m_mutex: the start of the output. Once the device has
    // opened, only the watcher calls into it.
    std::mutex m_mutex;
    int64_t m_nextProbeMs = INT64_MIN;
    uint32_t m_nDevs = 0;
    bool m_bTold = false;  // the one line on standard error is out
    std::unique_ptr<AudioMixer> m_pMixer;
    std::unique_ptr<WavFileSink> m_pSink;

    // The watcher sleeps on m_watchCv until its next round or its stop.
    std::mutex m_watchMutex;
    std::condition_variable m_watchCv;
    bool m_bStopWatch = false;
    std::thread m_watcher;

    std::vector<float> m_pulled;  // one pulled block as the mixer gives it
};
