// The bank's threads under load: the owner playing, the worker feeding and the
// output's thread returning buffers all at once. Built for ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "platform/sdl/SdlWaveOut.h"
#include "sound/SoundBank.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/RecordingWaveOut.h"
#include "tests/sound/WavTestFiles.h"
#include "tests/support/TestSeed.h"

using namespace wavtest;

namespace {

std::vector<std::string> WriteClips(const TempDir& dir, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        // 8-bit mono at 48 kHz, 1 to 7 chunks long: short enough to finish
        // and free slots many times over.
        const WAVEFORMATEX wfx = Pcm(1, 48000, 8);
        paths.push_back(dir.WriteWav("s" + std::to_string(i) + ".wav", wfx,
                                     Pattern(1000 + 8192 * static_cast<size_t>(i % 7), i)));
    }
    return paths;
}

TEST(SoundBankStress, TenThousandRandomPlaysWhileClipsFinish) {
    TempDir dir;
    const auto paths = WriteClips(dir, MAX_WAVE_CLIPS);
    SimulatedWaveOut out;
    platform::SetWaveOut(&out);
    std::atomic<bool> bStop{false};
    // The output's clock runs on a thread of its own, 40 ms of sound per ms.
    std::thread clock([&] {
        while (!bStop) {
            out.Advance(40);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    {
        CSoundBank bank;
        for (const auto& p : paths) ASSERT_GT(bank.AddWave(p.c_str()), 0);
        std::mt19937 rng(TestSeed("random plays"));
        std::uniform_int_distribution<uint32_t> clip(0, MAX_WAVE_CLIPS + 2);
        for (int n = 0; n < 10000; ++n) {
            const uint32_t i = clip(rng);
            const int r = bank.Play(i);
            EXPECT_EQ(r, i < MAX_WAVE_CLIPS ? 1 : -1);
            if (n % 16 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bStop = true;
    clock.join();
    platform::SetWaveOut(nullptr);

    EXPECT_EQ(out.ProtocolErrors(), 0);
    EXPECT_EQ(out.OpenStreamCount(), 0);
    EXPECT_EQ(out.QueuedBuffers(), 0);
    EXPECT_GT(out.StreamCount(), 50u) << "slots were freed and reused";
    for (size_t k = 0; k < out.StreamCount(); ++k) {
        const auto s = out.Stream(k);
        ASSERT_EQ(s.done, s.written) << "stream " << k;
    }
}

TEST(SoundBankStress, HundredBanksBuiltPlayedAndDestroyedMidSound) {
    TempDir dir;
    const auto paths = WriteClips(dir, 7);
    SdlWaveOut sdl;
    RecordingWaveOut out(sdl);
    platform::SetWaveOut(&out);
    std::mt19937 rng(TestSeed("plays and lifetimes"));
    for (int b = 0; b < 100; ++b) {
        {
            CSoundBank bank;
            for (const auto& p : paths) ASSERT_GT(bank.AddWave(p.c_str()), 0);
            for (int k = 0; k < 5; ++k) bank.Play(rng() % 7);
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 25));
        }
        ASSERT_EQ(out.OpenStreams(), 0) << "bank " << b;
    }
    platform::SetWaveOut(nullptr);
    const auto streams = out.Streams();
    EXPECT_GT(streams.size(), 100u);
    for (size_t k = 0; k < streams.size(); ++k)
        ASSERT_EQ(streams[k].done, streams[k].written) << "stream " << k;
}

}  // namespace
