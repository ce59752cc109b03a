#include "platform/sdl/SdlWaveOut.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/sdl/AudioMixer.h"
#include "platform/sdl/SdlAudioDevice.h"
#include "platform/sdl/WavFileSink.h"

namespace {

constexpr int kFileRate = 48000;
constexpr int kDeviceRate = 48000;  // asked for first; the device may say otherwise
constexpr int64_t kReprobeMs = 1000;

// 5.3 ms at 48 kHz. A trigger waits up to one buffer for the next mix, so
// 512 frames were half of its latency. Under heavy load the callback came
// late now and then at 256 frames, and many times more often at 128.
constexpr int kBufferFrames = 256;

// How often the watcher looks at the device while it plays, and how often it
// pulls the mix while the device is gone.
constexpr auto kWatchPeriod = std::chrono::milliseconds(100);
constexpr auto kPacePeriod = std::chrono::milliseconds(10);
constexpr int kPaceBlockFrames = 1024;

}  // namespace

void SdlWaveOut::DeviceCallback(void* pUser, float* pOut, int nFrames) {
    static_cast<SdlWaveOut*>(pUser)->m_pMixer->Mix(pOut, nFrames, true);
}

IAudioDevice::Spec SdlWaveOut::DeviceSpec(int nRate, bool bAllowRateChange) {
    IAudioDevice::Spec spec;
    spec.nRate = nRate;
    spec.nFrames = kBufferFrames;
    spec.bAllowRateChange = bAllowRateChange;
    spec.callback = &DeviceCallback;
    spec.pUser = this;
    return spec;
}

SdlWaveOut::SdlWaveOut() : SdlWaveOut(Options{}) {}

SdlWaveOut::SdlWaveOut(Options options)
    : SdlWaveOut(options, std::make_unique<SdlAudioDevice>(), nullptr) {}

SdlWaveOut::SdlWaveOut(Options options, IAudioDevice& device)
    : SdlWaveOut(options, nullptr, &device) {}

SdlWaveOut::SdlWaveOut(Options options, std::unique_ptr<IAudioDevice> pOwnDevice,
                       IAudioDevice* pDevice)
    : m_pOwnDevice(std::move(pOwnDevice)),
      m_device(pDevice ? *pDevice : *m_pOwnDevice),
      m_options(options) {
    if (m_options.bPulled) return;
    if (const char* path = std::getenv("ZARNDEMO_AUDIO_FILE"); path && *path) m_filePath = path;
}

SdlWaveOut::~SdlWaveOut() {
    {
        std::lock_guard lock(m_watchMutex);
        m_bStopWatch = true;
    }
    m_watchCv.notify_all();
    if (m_watcher.joinable()) m_watcher.join();
    m_device.Close();  // waits for a running callback
    m_pSink.reset();
    m_pMixer.reset();
}

void SdlWaveOut::TellOnce(const char* what, const std::string& detail) {
    if (m_bTold) return;
    m_bTold = true;
    std::fprintf(stderr, "sound: %s (%s); clips will not sound\n", what, detail.c_str());
}

// Until an output runs, the bank asks before every open it tries; a sound
// server or card that comes later is found by probing again, at most once a
// second so that waiting requests do not restart SDL's audio a hundred times
// a second.
uint32_t SdlWaveOut::GetNumDevs() {
    std::lock_guard lock(m_mutex);
    if (!m_pMixer) {
        if (const int64_t now = m_device.NowMs(); now >= m_nextProbeMs) {
            m_nextProbeMs = now + kReprobeMs;
            Probe();
        }
    }
    return m_nDevs;
}

void SdlWaveOut::Probe() {
    m_nDevs = 0;
    if (!m_filePath.empty() || m_options.bPulled) {
        m_nDevs = 1;
        return;
    }
    std::string strError;
    const int n = m_device.Probe(strError);
    // A driver that cannot list its devices may still have a default one.
    m_nDevs = n < 0 ? 1 : static_cast<uint32_t>(n);
    if (m_nDevs == 0) TellOnce("no audio output", strError);
}

// A failed start counts as no device until the next probe.
bool SdlWaveOut::StartOutput() {
    if (m_pMixer) return true;
    if (m_nDevs == 0) return false;
    if (m_options.bPulled) {
        m_pMixer = std::make_unique<AudioMixer>(kFileRate, m_options.probe,
                                                AudioMixer::Delivery::ByPuller);
        return true;
    }
    if (!m_filePath.empty()) {
        m_pMixer = std::make_unique<AudioMixer>(kFileRate, m_options.probe);
        m_pSink = std::make_unique<WavFileSink>(*m_pMixer, m_filePath);
        if (!m_pSink->Ok()) {
            m_pSink.reset();
            m_pMixer.reset();
            m_nDevs = 0;
            return false;
        }
        return true;
    }

    int nRate = 0;
    std::string strError;
    if (!m_device.Open(DeviceSpec(kDeviceRate, true), nRate, strError)) {
        TellOnce("cannot open the audio output", strError);
        m_nDevs = 0;
        return false;
    }
    // The device starts paused, so the callback sees the mixer only once it
    // exists at the device's own rate.
    m_pMixer = std::make_unique<AudioMixer>(nRate, m_options.probe);
    m_device.Start();
    try {
        m_watcher = std::thread([this] { Watch(); });
    } catch (const std::system_error& e) {
        std::fprintf(stderr,
                     "sound: cannot watch the audio output (%s); if it goes away, sound will "
                     "not come back\n",
                     e.what());
    }
    return true;
}

// A lost device is closed and the mix goes on without it, paced by the
// clock, so that streams end and their buffers come back as they would have;
// once a second the device is looked for again. The mixer keeps its rate
// across a reopen: its streams' converters and queued sound go on untouched,
// and the audio system converts if the device came back at another rate.
void SdlWaveOut::Watch() {
    const int rate = m_pMixer->OutputRate();
    std::vector<float> block(2 * kPaceBlockFrames);
    bool bGone = false;
    int64_t goneAtMs = 0;
    int64_t nextProbeMs = 0;
    int64_t nFramesPaced = 0;  // since goneAtMs
    std::unique_lock lock(m_watchMutex);
    while (!m_bStopWatch) {
        lock.unlock();
        const int64_t nowMs = m_device.NowMs();
        if (!bGone && m_device.Lost()) {
            m_device.Close();
            bGone = true;
            goneAtMs = nowMs;
            nextProbeMs = nowMs + kReprobeMs;
            nFramesPaced = 0;
            std::fprintf(stderr,
                         "sound: the audio output has gone (%s); sounds play to nothing until it "
                         "is back, looked for every second\n",
                         m_device.Driver().c_str());
        }
        if (bGone) {
            const int64_t due = (nowMs - goneAtMs) * rate / 1000;
            // A round more than a second late does not make up the rest.
            nFramesPaced = std::max(nFramesPaced, due - rate);
            while (nFramesPaced < due) {
                const int n =
                    static_cast<int>(std::min<int64_t>(kPaceBlockFrames, due - nFramesPaced));
                m_pMixer->Mix(block.data(), n, false);
                nFramesPaced += n;
            }
            // As a pulled output does: the buffers this round finished are back
            // with their owner before the round ends.
            m_pMixer->WaitDelivered();
            if (nowMs >= nextProbeMs) {
                nextProbeMs = nowMs + kReprobeMs;
                if (Reopen()) {
                    bGone = false;
                    std::fprintf(stderr, "sound: the audio output is back (%s)\n",
                                 m_device.Driver().c_str());
                }
            }
        }
        lock.lock();
        m_watchCv.wait_for(lock, bGone ? kPacePeriod : kWatchPeriod,
                           [this] { return m_bStopWatch; });
    }
}

bool SdlWaveOut::Reopen() {
    std::string strError;
    if (m_device.Probe(strError) == 0) return false;
    int nRate = 0;
    if (!m_device.Open(DeviceSpec(m_pMixer->OutputRate(), false), nRate, strError)) return false;
    m_device.Start();
    return true;
}

MMRESULT SdlWaveOut::Open(HWAVEOUT* phwo, const WAVEFORMATEX* pwfx, WaveOutCallback callback,
                          uintptr_t dwInstance) {
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

int SdlWaveOut::SampleRate() const { return kFileRate; }

void SdlWaveOut::Render(int16_t* pOut, int nFrames) {
    AudioMixer* pMixer = CurrentMixer();
    const size_t nSamples = 2 * static_cast<size_t>(nFrames);
    if (!pMixer) {
        std::fill(pOut, pOut + nSamples, int16_t{0});
        return;
    }
    if (m_pulled.size() < nSamples) m_pulled.resize(nSamples);
    pMixer->Mix(m_pulled.data(), nFrames, true);
    AudioMixer::ToPcm16(m_pulled.data(), pOut, nSamples);
    pMixer->WaitDelivered();
}

bool SdlWaveOut::Idle() {
    AudioMixer* pMixer = CurrentMixer();
    return !pMixer || !pMixer->HasStreams();
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
