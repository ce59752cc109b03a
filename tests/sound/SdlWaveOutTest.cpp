// The SDL wave output: many formats mixed at once on SDL's dummy driver, the
// WAV file output, no driver at all, and SDL's own device starting afresh,
// failing to open and being lost; its mixer's reset and limiter.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/sdl/AudioMixer.h"
#include "platform/sdl/SdlAudioDevice.h"
#include "platform/sdl/SdlWaveOut.h"
#include "sound/SoundBank.h"
#include "sound/SteppedPassDriver.h"
#include "tests/sound/RecordingWaveOut.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Sets or clears an environment variable for the scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(SdlWaveOut, TwentyOneMixedFormatClipsAllPlayToTheEnd) {
    const WAVEFORMATEX formats[] = {
        Pcm(1, 11025, 8),  Pcm(2, 44100, 16), Pcm(2, 48000, 24), Pcm(1, 22050, 32),
        Pcm(1, 96000, 24), Pcm(6, 8000, 16),  Pcm(8, 16000, 8),  Pcm(1, 192000, 16),
        Pcm(4, 32000, 16), Pcm(3, 12000, 24), Pcm(2, 8000, 8),
    };
    TempDir dir;
    SdlWaveOut sdl;
    RecordingWaveOut out(sdl);
    platform::SetWaveOut(&out);
    {
        // The passes run on this thread, as the worker would run them, so
        // the slots can be read between them.
        CSteppedPassDriver driver;
        CSoundBank bank(&driver);
        std::vector<uint32_t> lengths;
        for (int i = 0; i < MAX_WAVE_CLIPS; ++i) {
            const WAVEFORMATEX& wfx = formats[i % std::size(formats)];
            // 0.15 to 0.35 s each; odd lengths leave partial frames at chunk ends.
            auto data = Tone(wfx, 220 + 40 * i, 0.3, 0.15 + 0.01 * i);
            data.resize(data.size() - (i % 3));
            lengths.push_back(static_cast<uint32_t>(data.size()));
            ASSERT_EQ(
                bank.AddWave(dir.WriteWav("m" + std::to_string(i) + ".wav", wfx, data).c_str()),
                i + 1);
        }
        for (uint32_t i = 0; i < MAX_WAVE_CLIPS; ++i) ASSERT_EQ(bank.Play(i), 1);

        ASSERT_TRUE(WaitFor(
            [&] {
                driver.Step();
                return out.Streams().size() == 21 && out.OpenStreams() == 0;
            },
            20))
            << out.Streams().size() << " opened, " << out.OpenStreams() << " still open";
        for (int j = 0; j < MAX_WAVE_CLIPS; ++j) {
            EXPECT_EQ(bank.Slot(j).bInUse, 0) << j;
            EXPECT_EQ(bank.Slot(j).nFreeBuffers, WAVE_BUFFERS_PER_SLOT) << j;
        }
        const auto streams = out.Streams();
        for (size_t k = 0; k < streams.size(); ++k) {
            const auto& s = streams[k];
            EXPECT_EQ(s.bytesWritten, lengths[k]) << "stream " << k;
            EXPECT_EQ(s.done, s.written) << "stream " << k;
            EXPECT_FALSE(s.bCallbackOnCallerThread) << "stream " << k;
        }
    }
    platform::SetWaveOut(nullptr);
}

struct WavRead {
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint32_t declaredData = 0;
    std::vector<int16_t> samples;
};

WavRead ReadWav(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    WavRead w;
    if (b.size() < 44) return w;
    auto le16 = [&](size_t o) { return static_cast<uint16_t>(b[o] | b[o + 1] << 8); };
    auto le32 = [&](size_t o) { return static_cast<uint32_t>(le16(o) | le16(o + 2) << 16); };
    w.channels = le16(22);
    w.rate = le32(24);
    w.bits = le16(34);
    w.declaredData = le32(40);
    w.samples.resize((b.size() - 44) / 2);
    std::memcpy(w.samples.data(), b.data() + 44, w.samples.size() * 2);
    return w;
}

// The file output, fed one clip of each sample width: the unpacking and rate
// conversion of every width must keep the tones' level, pitch and timing.
class SdlFileOutput : public ::testing::TestWithParam<WAVEFORMATEX> {};

INSTANTIATE_TEST_SUITE_P(Widths, SdlFileOutput,
                         ::testing::Values(Pcm(1, 11025, 8), Pcm(1, 44100, 16), Pcm(2, 48000, 24),
                                           Pcm(2, 22050, 32)),
                         [](const auto& info) {
                             return std::to_string(info.param.wBitsPerSample) + "bit" +
                                    std::to_string(info.param.nChannels) + "ch" +
                                    std::to_string(info.param.nSamplesPerSec);
                         });

TEST_P(SdlFileOutput, HoldsTwoTonesAtTheirTimesWithoutClipping) {
    TempDir dir;
    const std::string path = dir.path() + "/mix.wav";
    const WAVEFORMATEX wfx = GetParam();
    std::vector<uint8_t> clip = Tone(wfx, 440, 0.5, 0.15);
    const auto gap = Tone(wfx, 1, 0, 0.30);  // silence
    const auto second = Tone(wfx, 1000, 0.5, 0.15);
    clip.insert(clip.end(), gap.begin(), gap.end());
    clip.insert(clip.end(), second.begin(), second.end());
    {
        ScopedEnv env("ZARNDEMO_AUDIO_FILE", path.c_str());
        SdlWaveOut sdl;
        RecordingWaveOut out(sdl);
        platform::SetWaveOut(&out);
        {
            CSoundBank bank;
            ASSERT_EQ(bank.AddWave(dir.WriteWav("tones.wav", wfx, clip).c_str()), 1);
            bank.Play(0);
            ASSERT_TRUE(
                WaitFor([&] { return out.Streams().size() == 1 && out.OpenStreams() == 0; }, 10));
        }
        platform::SetWaveOut(nullptr);
        // A buffer is done once taken; the converter still holds up to
        // about 100 ms of it, which plays out after the close.
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }

    const WavRead w = ReadWav(path);
    ASSERT_EQ(w.channels, 2);
    ASSERT_EQ(w.bits, 16);
    ASSERT_EQ(w.rate, 48000u);
    EXPECT_EQ(w.declaredData, w.samples.size() * 2) << "header completed at the end";

    // Left channel; loud means above a tenth of full scale.
    std::vector<int> loud;
    int peak = 0;
    for (size_t i = 0; i < w.samples.size(); i += 2) {
        EXPECT_EQ(w.samples[i], w.samples[i + 1]) << "mono reaches both sides alike";
        peak = std::max(peak, std::abs(static_cast<int>(w.samples[i])));
        if (std::abs(w.samples[i]) > 3277) loud.push_back(static_cast<int>(i / 2));
    }
    ASSERT_FALSE(loud.empty());
    EXPECT_GT(peak, 0.45 * 32767) << "tone level kept";
    EXPECT_LT(peak, 0.55 * 32767) << "no clipping or gain";

    // Split the loud frames into runs separated by more than 100 ms.
    std::vector<std::pair<int, int>> runs;
    for (int f : loud) {
        if (runs.empty() || f - runs.back().second > 4800)
            runs.push_back({f, f});
        else
            runs.back().second = f;
    }
    ASSERT_EQ(runs.size(), 2u);
    const double ms = 1000.0 / 48000;
    EXPECT_NEAR((runs[0].second - runs[0].first) * ms, 150, 15);
    EXPECT_NEAR((runs[1].first - runs[0].first) * ms, 450, 15);
    EXPECT_NEAR((runs[1].second - runs[1].first) * ms, 150, 15);

    // The gap is silent: no clicks from the converter or the mixer.
    int gapPeak = 0;
    for (int f = runs[0].second + 960; f < runs[1].first - 960; ++f)
        gapPeak = std::max(gapPeak, std::abs(static_cast<int>(w.samples[2 * f])));
    EXPECT_LT(gapPeak, 100);

    // The pitch survives the rate change: count upward zero crossings.
    auto cycles = [&](std::pair<int, int> run) {
        int n = 0;
        for (int f = run.first + 1; f <= run.second; ++f)
            n += w.samples[2 * (f - 1)] < 0 && w.samples[2 * f] >= 0;
        return n / ((run.second - run.first) * ms / 1000);
    };
    EXPECT_NEAR(cycles(runs[0]), 440, 15);
    EXPECT_NEAR(cycles(runs[1]), 1000, 15);
}

TEST(SdlWaveOut, NoDriverMeansNoDevicesAndOneLineOnStandardError) {
    ScopedEnv env("SDL_AUDIODRIVER", "no-such-driver");
    SdlWaveOut sdl;
    testing::internal::CaptureStderr();
    EXPECT_EQ(sdl.GetNumDevs(), 0u);
    EXPECT_EQ(sdl.GetNumDevs(), 0u);
    HWAVEOUT h = nullptr;
    const WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    EXPECT_NE(sdl.Open(
                  &h, &wfx, [](HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}, 0),
              MMSYSERR_NOERROR);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(SdlWaveOut, RefusesFormatsOutsideTheList) {
    SdlWaveOut sdl;
    auto refused = [&](WAVEFORMATEX wfx) {
        HWAVEOUT h = nullptr;
        return sdl.Open(
                   &h, &wfx, [](HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}, 0) ==
               WAVERR_BADFORMAT;
    };
    WAVEFORMATEX badAlign = Pcm(2, 44100, 16), isFloat = badAlign;
    badAlign.nBlockAlign = 6;
    isFloat.wFormatTag = 3;
    for (const WAVEFORMATEX& wfx : {Pcm(0, 44100, 16), Pcm(2, 0, 16), Pcm(2, 44100, 12),
                                    Pcm(9, 44100, 16), badAlign, isFloat})
        EXPECT_TRUE(refused(wfx)) << "tag " << wfx.wFormatTag << ", " << wfx.nChannels << " ch, "
                                  << wfx.nSamplesPerSec << " Hz, " << wfx.wBitsPerSample
                                  << " bits, align " << wfx.nBlockAlign;
    EXPECT_FALSE(refused(Pcm(8, 192000, 32)));
    EXPECT_FALSE(refused(Pcm(1, 8000, 24)));
}

void IgnoreDone(HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

// 16-bit samples of the given levels, each held for nFrames frames.
std::vector<uint8_t> Levels(const std::vector<double>& levels, int nFrames) {
    std::vector<uint8_t> bytes;
    for (double level : levels) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>(std::lrint(level * 32767)));
        for (int f = 0; f < nFrames; ++f) {
            bytes.push_back(static_cast<uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
    }
    return bytes;
}

TEST(AudioMixer, ResetSilencesWhatTheRateConverterStillHolds) {
    AudioMixer mixer(48000);
    const WAVEFORMATEX wfx = Pcm(1, 8000, 16);
    std::vector<uint8_t> tone = Tone(wfx, 440, 0.5, 1.0);
    WAVEHDR header{};
    header.lpData = reinterpret_cast<char*>(tone.data());
    header.dwBufferLength = static_cast<uint32_t>(tone.size());
    HWAVEOUT h = nullptr;
    ASSERT_EQ(mixer.Open(&h, wfx, &IgnoreDone, 0), MMSYSERR_NOERROR);
    mixer.Prepare(h, &header);
    mixer.Write(h, &header);
    // A piece at 8 kHz makes far more than one small call's worth at 48 kHz.
    std::vector<float> out(2 * 4096);
    mixer.Mix(out.data(), 64, true);
    ASSERT_GT(*std::max_element(out.begin(), out.begin() + 128), 0.1f) << "the tone has begun";

    ASSERT_EQ(mixer.Reset(h), MMSYSERR_NOERROR);
    mixer.Mix(out.data(), 4096, true);
    EXPECT_LT(*std::max_element(out.begin(), out.end(),
                                [](float a, float b) { return std::fabs(a) < std::fabs(b); }),
              1e-3f);
    EXPECT_EQ(mixer.Close(h), MMSYSERR_NOERROR);
}

// Up to 0.6 the sum passes untouched; above, it follows
// 0.6 + 0.4 tanh((|x| - 0.6) / 0.4) towards full scale, on either side.
TEST(AudioMixer, LoudSumsBendTowardsFullScaleOnTheLimiterCurve) {
    const std::vector<double> first = {0.3, 0.75, -0.9, 0.9, -0.95, 0.99};
    const std::vector<double> second = {0, 0, 0, 0.9, -0.95, 0.99};
    constexpr int kFrames = 64;
    AudioMixer mixer(48000);
    const WAVEFORMATEX wfx = Pcm(1, 48000, 16);
    std::vector<uint8_t> bytes[2] = {Levels(first, kFrames), Levels(second, kFrames)};
    WAVEHDR headers[2] = {};
    HWAVEOUT h[2] = {};
    for (int k = 0; k < 2; ++k) {
        headers[k].lpData = reinterpret_cast<char*>(bytes[k].data());
        headers[k].dwBufferLength = static_cast<uint32_t>(bytes[k].size());
        ASSERT_EQ(mixer.Open(&h[k], wfx, &IgnoreDone, 0), MMSYSERR_NOERROR);
        mixer.Prepare(h[k], &headers[k]);
        mixer.Write(h[k], &headers[k]);
    }
    const int nFrames = kFrames * static_cast<int>(first.size());
    std::vector<float> out(2 * static_cast<size_t>(nFrames));
    mixer.Mix(out.data(), nFrames, true);

    auto heard = [](double level) { return std::lrint(level * 32767) / 32768.0; };
    for (size_t k = 0; k < first.size(); ++k) {
        const double x = heard(first[k]) + heard(second[k]);
        const double a = std::fabs(x);
        const double y = a <= 0.6 ? a : 0.6 + 0.4 * std::tanh((a - 0.6) / 0.4);
        const float expected = static_cast<float>(x < 0 ? -y : y);
        for (int f = 0; f < kFrames; ++f) {
            const size_t i = 2 * (k * kFrames + static_cast<size_t>(f));
            ASSERT_NEAR(out[i], expected, 2e-6) << "sum " << x << ", frame " << f;
            ASSERT_EQ(out[i + 1], out[i]);
        }
    }
    for (HWAVEOUT hwo : h) {
        mixer.Reset(hwo);
        mixer.Close(hwo);
    }
}

void Silence(void*, float* pOut, int nFrames) { std::fill(pOut, pOut + 2 * nFrames, 0.0f); }

// A fresh probe finds a driver named since; an open that fails says why; and a
// device whose sound cannot go anywhere (the disk writer on a full disk) is
// taken for lost until it is closed.
// Mix wakes nobody for a puller: the done callbacks of what it finished run
// in WaitDelivered, in written order, and none is left behind.
TEST(AudioMixer, APullerDeliversWhatEachMixFinishedInWrittenOrder) {
    struct Done {
        std::vector<WAVEHDR*> headers;
        std::thread::id thread;
        bool bOtherThread = false;
    } done;
    auto record = [](HWAVEOUT, uint32_t message, uintptr_t instance, uintptr_t p1, uintptr_t) {
        auto* d = reinterpret_cast<Done*>(instance);
        if (message != MM_WOM_DONE) return;
        d->headers.push_back(reinterpret_cast<WAVEHDR*>(p1));
        if (std::this_thread::get_id() != d->thread) d->bOtherThread = true;
    };
    done.thread = std::this_thread::get_id();
    AudioMixer mixer(48000, {}, AudioMixer::Delivery::ByPuller);
    const WAVEFORMATEX wfx = Pcm(1, 48000, 16);
    std::vector<uint8_t> bytes = Levels({0.5}, 64);
    WAVEHDR headers[6] = {};
    HWAVEOUT h = nullptr;
    ASSERT_EQ(mixer.Open(&h, wfx, record, reinterpret_cast<uintptr_t>(&done)), MMSYSERR_NOERROR);
    for (WAVEHDR& header : headers) {
        header.lpData = reinterpret_cast<char*>(bytes.data());
        header.dwBufferLength = static_cast<uint32_t>(bytes.size());
        mixer.Prepare(h, &header);
        mixer.Write(h, &header);
    }
    std::vector<float> out(2 * 128);
    for (size_t nMixes = 1; nMixes <= 3; ++nMixes) {
        mixer.Mix(out.data(), 128, true);  // two buffers' worth
        mixer.WaitDelivered();
        ASSERT_EQ(done.headers.size(), 2 * nMixes);
    }
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(done.headers[k], &headers[k]);
    EXPECT_FALSE(done.bOtherThread);
    EXPECT_EQ(mixer.Close(h), MMSYSERR_NOERROR);
}

// Full scale clamps (NaN to the top), the rest rounds to nearest, ties to
// even, at every length and offset the vector steps and the tail split.
TEST(AudioMixer, ToPcm16RoundsAndClampsEverySampleAlike) {
    std::vector<float> mix = {0.0f,      -0.0f,        1.0f,          -1.0f,
                              1.5f,      -7.0f,        std::nanf(""), INFINITY,
                              -INFINITY, 0.5f / 32767, 1.5f / 32767,  -2.5f / 32767,
                              0.99999f,  -0.99999f,    1e-30f,        -1e-30f};
    std::srand(7);
    while (mix.size() < 61) mix.push_back(static_cast<float>(std::rand()) / RAND_MAX * 2.2f - 1.1f);
    auto expected = [](float x) -> int16_t {
        if (std::isnan(x) || x > 1.0f) return 32767;
        if (x < -1.0f) return -32767;
        const float scaled = x * 32767.0f;
        float whole = std::floor(scaled);
        const float frac = scaled - whole;
        if (frac > 0.5f || (frac == 0.5f && std::fmod(whole, 2.0f) != 0.0f)) whole += 1.0f;
        return static_cast<int16_t>(whole);
    };
    for (size_t offset = 0; offset < 3; ++offset) {
        for (size_t n = 0; offset + n <= mix.size(); ++n) {
            std::vector<int16_t> pcm(n + 1, 0x5555);
            AudioMixer::ToPcm16(mix.data() + offset, pcm.data(), n);
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(pcm[i], expected(mix[offset + i]))
                    << "sample " << mix[offset + i] << " at " << i << " of " << n;
            ASSERT_EQ(pcm[n], 0x5555) << "written past " << n;
        }
    }
}

TEST(SdlAudioDevice, ProbesAfreshSaysWhyAnOpenFailsAndTellsALostDevice) {
    SdlAudioDevice device;
    std::string error;
    {
        ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
        EXPECT_EQ(device.Probe(error), 0);
        EXPECT_FALSE(error.empty());
    }
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv diskFile("SDL_DISKAUDIOFILE", "/no/such/folder/out.raw");
    EXPECT_NE(device.Probe(error), 0) << error;
    EXPECT_EQ(device.Driver(), "disk");
    IAudioDevice::Spec spec;
    spec.nRate = 44100;
    spec.callback = &Silence;
    int nRate = 0;
    error.clear();
    EXPECT_FALSE(device.Open(spec, nRate, error));
    EXPECT_FALSE(error.empty());

    setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
    ASSERT_TRUE(device.Open(spec, nRate, error)) << error;
    EXPECT_EQ(nRate, 44100);
    EXPECT_FALSE(device.Lost());
    device.Start();
    EXPECT_TRUE(WaitFor([&] { return device.Lost(); }, 10));
    device.Close();
    EXPECT_FALSE(device.Lost());
}

}  // namespace
