// The SDL wave output on a device that comes late, goes away mid-sound and
// comes back: what is said, what plays to nothing, how often it is looked
// for, and what reaches the device again. Time is the fake device's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "platform/sdl/SdlWaveOut.h"
#include "sound/SoundBank.h"
#include "sound/SteppedPassDriver.h"
#include "tests/fakes/FakeAudioDevice.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

void IgnoreDone(HWAVEOUT, uint32_t, uintptr_t, uintptr_t, uintptr_t) {}

bool Loud(const std::vector<float>& mix) {
    return std::any_of(mix.begin(), mix.end(), [](float x) { return std::fabs(x) > 0.05f; });
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class SdlWaveOutDevice : public ::testing::Test {
protected:
    void SetUp() override { platform::SetWaveOut(&out); }
    void TearDown() override { platform::SetWaveOut(nullptr); }

    static void NoteTake(void* pUser, bool bHeard) {
        auto* self = static_cast<SdlWaveOutDevice*>(pUser);
        ++(bHeard ? self->nHeard : self->nUnheard);
    }

    std::atomic<int> nHeard{0};
    std::atomic<int> nUnheard{0};
    TempDir dir;
    FakeAudioDevice device;
    SdlWaveOut out{{.probe = {&NoteTake, this}}, device};
    CSteppedPassDriver driver;
};

TEST_F(SdlWaveOutDevice, LostMidSoundIsSaidOnceSoundsPlayOutAndThoseAfterItsReturnReachIt) {
    device.SetHardwareRate(44100);
    const WAVEFORMATEX wfx = Pcm(1, 48000, 16);
    CSoundBank bank(&driver);
    ASSERT_EQ(bank.AddWave(dir.WriteWav("long.wav", wfx, Tone(wfx, 440, 0.5, 1.0)).c_str()), 1);
    ASSERT_EQ(bank.AddWave(dir.WriteWav("short.wav", wfx, Tone(wfx, 660, 0.5, 0.2)).c_str()), 2);
    bank.Play(0);
    driver.Step();
    ASSERT_TRUE(device.IsOpen());
    EXPECT_TRUE(Loud(device.Pull(1024)));
    EXPECT_EQ(nHeard, 1);

    testing::internal::CaptureStderr();
    device.SetPresent(false);
    ASSERT_TRUE(device.Advance(0));
    EXPECT_FALSE(device.IsOpen()) << "the lost device is closed";
    bank.Play(1);
    // Three seconds without a device: both clips play out to nothing, their
    // buffers come back and their slots free up.
    const int nProbesBefore = device.Probes();
    for (int k = 0; k < 30; ++k) {
        ASSERT_TRUE(device.Advance(100));
        driver.Step();
        driver.Step();
    }
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(bank.Slot(j).bInUse, 0) << j;
        EXPECT_EQ(bank.Slot(j).nFreeBuffers, WAVE_BUFFERS_PER_SLOT) << j;
    }
    EXPECT_EQ(nUnheard, 1);
    EXPECT_EQ(device.Probes() - nProbesBefore, 3) << "looked for once a second";

    device.SetPresent(true);
    ASSERT_TRUE(device.Advance(1000));
    ASSERT_TRUE(device.IsOpen());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(err), 2) << err;
    EXPECT_NE(err.find("gone"), std::string::npos) << err;
    EXPECT_NE(err.find("back"), std::string::npos) << err;
    // The mixer keeps its rate; the device converts.
    EXPECT_EQ(device.Opens().back().nRate, 44100);
    EXPECT_FALSE(device.Opens().back().bAllowRateChange);

    bank.Play(1);
    driver.Step();
    EXPECT_TRUE(Loud(device.Pull(1024))) << "a sound after the return reaches the device";
    EXPECT_EQ(nHeard, 2);
}

// No device at the first try, then one that lists but will not open: each is
// looked for again only when a second has passed, and used once it works.
TEST_F(SdlWaveOutDevice, OutputThatComesLaterIsUsedProbingAtMostOncePerSecond) {
    const WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    auto opens = [&] {
        HWAVEOUT h = nullptr;
        return out.Open(&h, &wfx, &IgnoreDone, 0) == MMSYSERR_NOERROR && !out.Close(h);
    };
    testing::internal::CaptureStderr();
    device.SetPresent(false);
    EXPECT_FALSE(opens());
    EXPECT_FALSE(opens());
    EXPECT_EQ(device.Probes(), 1);
    device.SetPresent(true);
    device.SetRefuseOpens(true);
    device.MoveClock(999);
    EXPECT_FALSE(opens()) << "probed again within the second";
    device.MoveClock(1);
    EXPECT_FALSE(opens()) << "an output that will not open";
    EXPECT_EQ(device.Probes(), 2);
    device.SetRefuseOpens(false);
    device.MoveClock(500);
    EXPECT_FALSE(opens()) << "a failed open counts as no output until the next probe";
    device.MoveClock(500);
    EXPECT_TRUE(opens()) << "the output that came is used";
    EXPECT_EQ(device.Probes(), 3);
    EXPECT_EQ(Lines(testing::internal::GetCapturedStderr()), 1);
}

}  // namespace
