// The mixer when SDL's converter fails: this program stands in for SDL's
// converter calls (its own definitions win over the library's, which they
// call through), so that they fail on demand.
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "platform/sdl/AudioMixer.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

std::atomic<int> g_nNewStreamFailures{0};
std::atomic<int> g_nPutFailures{0};
std::atomic<int> g_nFailedPuts{0};

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" SDL_AudioStream* SDL_NewAudioStream(Uint16 srcFormat, Uint8 srcChannels, int srcRate,
                                               Uint16 dstFormat, Uint8 dstChannels, int dstRate) {
    static const auto real =
        Real<SDL_AudioStream* (*)(Uint16, Uint8, int, Uint16, Uint8, int)>("SDL_NewAudioStream");
    if (g_nNewStreamFailures.fetch_sub(1) > 0) return nullptr;
    return real(srcFormat, srcChannels, srcRate, dstFormat, dstChannels, dstRate);
}

extern "C" int SDL_AudioStreamPut(SDL_AudioStream* pStream, const void* pBuf, int len) {
    static const auto real =
        Real<int (*)(SDL_AudioStream*, const void*, int)>("SDL_AudioStreamPut");
    if (g_nPutFailures.fetch_sub(1) > 0) {
        ++g_nFailedPuts;
        return -1;
    }
    return real(pStream, pBuf, len);
}

namespace {

void IgnoreDone(HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

TEST(MixerConverterFault, ConverterThatCannotBeMadeIsAFailureThatMayPass) {
    AudioMixer mixer(48000);
    const WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    HWAVEOUT h = nullptr;
    g_nNewStreamFailures = 1;
    const MMRESULT first = mixer.Open(&h, wfx, &IgnoreDone, 0);
    EXPECT_NE(first, MMSYSERR_NOERROR);
    EXPECT_NE(first, WAVERR_BADFORMAT) << "the format is playable: worth another try";
    ASSERT_EQ(mixer.Open(&h, wfx, &IgnoreDone, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer.Close(h), MMSYSERR_NOERROR);
}

TEST(MixerConverterFault, FailingConverterGivesSilenceForTheCallbackAndLosesNothing) {
    AudioMixer mixer(48000);
    const WAVEFORMATEX wfx = Pcm(1, 48000, 16);
    std::vector<uint8_t> tone = Tone(wfx, 440, 0.5, 0.2);  // 9600 frames
    WAVEHDR header{};
    header.lpData = reinterpret_cast<char*>(tone.data());
    header.dwBufferLength = static_cast<uint32_t>(tone.size());
    HWAVEOUT h = nullptr;
    ASSERT_EQ(mixer.Open(&h, wfx, &IgnoreDone, 0), MMSYSERR_NOERROR);
    mixer.Prepare(h, &header);
    mixer.Write(h, &header);

    std::vector<float> out(2 * 16384);
    g_nPutFailures = 1000;  // a spinning pull would end here
    mixer.Mix(out.data(), 4096, true);
    EXPECT_EQ(g_nFailedPuts, 1) << "one failure ends the stream's pulls for the callback";
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 2 * 4096, [](float x) { return x == 0; }));

    g_nPutFailures = 0;
    mixer.Mix(out.data(), 16384, true);
    auto loud = [](float x) { return std::fabs(x) > 0.05f; };
    const auto first = std::find_if(out.begin(), out.end(), loud);
    const auto last = std::find_if(out.rbegin(), out.rend(), loud).base();
    EXPECT_NEAR((last - first) / 2, 9600, 50) << "the refused piece plays later, none is dropped";
}

}  // namespace
