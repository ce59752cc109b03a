// CSoundBank's passes on the simulated output: which request starts when, in
// which slot, what is written, and how streams end.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sound/SoundBank.h"
#include "sound/SteppedPassDriver.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

// Clip i is 8-bit mono at 8000 + 1000 * i Hz, so a stream's rate names its clip.
WAVEFORMATEX FormatOf(int i) { return Pcm(1, 8000 + 1000 * i, 8); }
int ClipOfStream(const SimulatedWaveOut::StreamRecord& s) {
    return static_cast<int>(s.wfx.nSamplesPerSec - 8000) / 1000;
}

class SoundBankPlayer : public ::testing::Test {
protected:
    void SetUp() override { platform::SetWaveOut(&out); }
    void TearDown() override {
        EXPECT_EQ(out.ProtocolErrors(), 0);
        platform::SetWaveOut(nullptr);
    }

    // Loads clips of the given lengths, clip i with pattern seed i.
    void Load(CSoundBank& bank, const std::vector<uint32_t>& lengths) {
        for (size_t i = 0; i < lengths.size(); ++i) {
            const int n = static_cast<int>(i);
            ASSERT_EQ(bank.AddWave(dir.WriteWav("c" + std::to_string(n) + ".wav", FormatOf(n),
                                                Pattern(lengths[i], n))
                                       .c_str()),
                      n + 1);
        }
    }

    void Passes(int n) {
        for (int p = 0; p < n; ++p) driver.Step();
    }

    std::vector<int> OpenedClips() const {
        std::vector<int> v;
        for (size_t k = 0; k < out.StreamCount(); ++k) v.push_back(ClipOfStream(out.Stream(k)));
        return v;
    }

    TempDir dir;
    SimulatedWaveOut out;
    CSteppedPassDriver driver;
};

// Refuses the buffer pools of the slots whose bits are set.
class FailingPools final : public CSteppedPassDriver {
public:
    explicit FailingPools(uint32_t dwSlots) : m_dwSlots(dwSlots) {}
    WAVEHDR* AllocBufferPool(int nSlot, uint32_t dwBufferBytes, int nCount) override {
        return (m_dwSlots >> nSlot) & 1
                   ? nullptr
                   : CSteppedPassDriver::AllocBufferPool(nSlot, dwBufferBytes, nCount);
    }

private:
    uint32_t m_dwSlots;
};

TEST_F(SoundBankPlayer, LowestRequestFirstOnePerPassAndRequestsMerge) {
    CSoundBank bank(&driver);
    Load(bank, std::vector<uint32_t>(12, 100000));
    EXPECT_EQ(bank.Play(12), -1);
    for (uint32_t i : {9u, 2u, 5u, 2u}) EXPECT_EQ(bank.Play(i), 1);

    driver.Step();
    EXPECT_EQ(OpenedClips(), (std::vector<int>{2}));
    driver.Step();
    EXPECT_EQ(OpenedClips(), (std::vector<int>{2, 5}));
    bank.Play(5);  // clip 5 again: a new request, started in a slot of its own
    Passes(4);
    // The two early requests for clip 2 merged into one stream.
    EXPECT_EQ(OpenedClips(), (std::vector<int>{2, 5, 5, 9}));
    EXPECT_EQ(bank.Slot(0).pClip, &bank.Clip(2));
    EXPECT_EQ(bank.Slot(1).pClip, &bank.Clip(5));
    EXPECT_EQ(bank.Slot(2).pClip, &bank.Clip(5));
    EXPECT_EQ(bank.Slot(3).pClip, &bank.Clip(9));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(bank.Clip(i).bPlayRequest, 0) << i;
    // Each slot got one chunk per pass, from the clip's start: the second
    // stream of clip 5 began anew.
    EXPECT_EQ(out.Stream(0).writeLengths.size(), 6u);
    const std::vector<uint8_t> clip5 = Pattern(100000, 5);
    EXPECT_EQ(out.Stream(2).bytes, std::vector<uint8_t>(clip5.begin(), clip5.begin() + 4 * 8192));
}

TEST_F(SoundBankPlayer, WritesWholeClipsInChunksAndFreesTheSlotWhenAllBuffersReturn) {
    CSoundBank bank(&driver);
    const uint32_t kLong = 25 * WAVE_CHUNK_BYTES + 100;  // more than one ring
    Load(bank, {3 * WAVE_CHUNK_BYTES, 5000, 0, kLong});
    for (uint32_t i = 0; i < 4; ++i) bank.Play(i);

    // Clip 2 (length 0) opens and closes in one pass, without a write.
    Passes(3);
    ASSERT_EQ(out.StreamCount(), 3u);
    EXPECT_TRUE(out.Stream(2).writeLengths.empty());
    EXPECT_FALSE(out.Stream(2).bOpen);
    EXPECT_EQ(bank.Slot(2).bInUse, 0);

    // Ring full: clip 3 waits for returned buffers after 20 writes.
    Passes(30);
    EXPECT_EQ(out.Stream(3).writeLengths.size(), 20u);
    EXPECT_EQ(out.Stream(0).writeLengths, (std::vector<uint32_t>{8192, 8192, 8192}));
    EXPECT_EQ(out.Stream(1).writeLengths, (std::vector<uint32_t>{5000}));
    // Written but not all back: the slot drains, still open.
    EXPECT_TRUE(out.Stream(0).bOpen);
    EXPECT_EQ(bank.Slot(0).bInUse, 1);

    // Let the output play everything, passing as the worker would.
    for (int p = 0; p < 200 && out.OpenStreamCount() > 0; ++p) {
        out.Advance(500);
        driver.Step();
    }
    EXPECT_EQ(out.OpenStreamCount(), 0);
    for (size_t k = 0; k < out.StreamCount(); ++k) {
        const auto s = out.Stream(k);
        EXPECT_EQ(s.bytes, Pattern(s.bytes.size(), ClipOfStream(s)));
        EXPECT_EQ(s.done, s.written) << "stream " << k;
    }
    EXPECT_EQ(out.Stream(3).bytes.size(), kLong);
    EXPECT_EQ(out.Stream(3).writeLengths.back(), 100u);
    for (int j = 0; j < MAX_WAVE_CLIPS; ++j) {
        const WaveSlot& slot = bank.Slot(j);
        EXPECT_EQ(slot.bInUse, 0);
        EXPECT_EQ(slot.nFreeBuffers, WAVE_BUFFERS_PER_SLOT);
        EXPECT_EQ(slot.nNextHeader, 0);
        EXPECT_EQ(slot.dwBytesSent, 0u);
        EXPECT_EQ(slot.pClip, nullptr);
    }
}

TEST_F(SoundBankPlayer, WithEverySlotBusyTheLowestWaitingClipGetsTheFreedSlot) {
    CSoundBank bank(&driver);
    std::vector<uint32_t> lengths(21, 200000);
    lengths[4] = 1000;  // finishes first
    Load(bank, lengths);
    for (uint32_t i = 0; i < 21; ++i) bank.Play(i);
    Passes(21);
    ASSERT_EQ(out.OpenStreamCount(), 21);

    bank.Play(17);
    bank.Play(6);
    driver.Step();
    EXPECT_EQ(out.StreamCount(), 21u);
    EXPECT_EQ(bank.Clip(6).bPlayRequest, 1);

    out.Advance(1000);  // clip 4 (1000 bytes at 12 kHz) has played
    driver.Step();      // its slot closes
    driver.Step();      // and clip 6 takes it
    ASSERT_EQ(out.StreamCount(), 22u);
    EXPECT_EQ(ClipOfStream(out.Stream(21)), 6);
    EXPECT_EQ(bank.Slot(4).pClip, &bank.Clip(6));
    EXPECT_EQ(bank.Clip(17).bPlayRequest, 1);
}

TEST_F(SoundBankPlayer, NoDeviceKeepsRequestsRaisedUntilOneAppears) {
    out.SetNumDevs(0);
    CSoundBank bank(&driver);
    Load(bank, {1000, 1000});
    bank.Play(1);
    Passes(5);
    EXPECT_EQ(out.OpenCalls(), 0);
    EXPECT_EQ(bank.Clip(1).bPlayRequest, 1);

    out.SetNumDevs(1);
    driver.Step();
    EXPECT_EQ(OpenedClips(), (std::vector<int>{1}));
}

TEST_F(SoundBankPlayer, RefusedFormatDropsTheRequestSoLaterClipsStillPlay) {
    CSoundBank bank(&driver);
    // Clip 0 claims 12 bits: no output can play it.
    auto odd = Header(FormatOf(0), 10);
    PutLe16(odd, 34, 12);
    odd.resize(54, 0);
    ASSERT_EQ(bank.AddWave(dir.Write("odd.wav", odd).c_str()), 1);
    ASSERT_EQ(bank.AddWave(dir.WriteWav("c1.wav", FormatOf(1), Pattern(1000, 1)).c_str()), 2);
    bank.Play(1);
    bank.Play(0);
    driver.Step();
    EXPECT_EQ(out.StreamCount(), 0u);
    EXPECT_EQ(bank.Clip(0).bPlayRequest, 0);
    driver.Step();
    EXPECT_EQ(OpenedClips(), (std::vector<int>{1}));

    // An output that refuses everything drops each request after one try.
    out.SetRefuseOpens(true);
    bank.Play(1);
    driver.Step();
    EXPECT_EQ(bank.Clip(1).bPlayRequest, 0);
    EXPECT_EQ(out.StreamCount(), 1u);
}

TEST_F(SoundBankPlayer, FailedCloseKeepsTheSlotUntilACloseSucceeds) {
    CSoundBank bank(&driver);
    Load(bank, {100});
    bank.Play(0);
    driver.Step();
    out.FinishAll();
    out.SetFailCloses(true);
    Passes(2);
    EXPECT_EQ(bank.Slot(0).bInUse, 1);
    bank.Play(0);
    driver.Step();
    EXPECT_EQ(bank.Slot(1).pClip, &bank.Clip(0)) << "a second slot is used meanwhile";

    out.SetFailCloses(false);
    out.FinishAll();
    driver.Step();
    EXPECT_EQ(bank.Slot(0).bInUse, 0);
    EXPECT_EQ(bank.Slot(1).bInUse, 0);
    EXPECT_EQ(out.OpenStreamCount(), 0);
}

TEST_F(SoundBankPlayer, SlotWithoutBufferPoolIsNeverOpened) {
    FailingPools pools(0b101);
    CSoundBank bank(&pools);
    Load(bank, {100000});
    for (int p = 0; p < 3; ++p) {
        bank.Play(0);
        pools.Step();
    }
    EXPECT_EQ(bank.Slot(0).bInUse, 0);
    EXPECT_EQ(bank.Slot(1).bInUse, 1);
    EXPECT_EQ(bank.Slot(2).bInUse, 0);
    EXPECT_EQ(bank.Slot(3).bInUse, 1);
    EXPECT_EQ(bank.Slot(4).bInUse, 1);
}

TEST_F(SoundBankPlayer, HeldWorkerIsDiscardedWithoutAPass) {
    {
        CSoundBank bank;
        EXPECT_EQ(bank.Play(0), -1) << "nothing loaded";
        Load(bank, {100});
    }
    EXPECT_EQ(out.NumDevsCalls(), 0);
}

TEST_F(SoundBankPlayer, DriverPassesOnlyBetweenTheFirstAcceptedPlayAndDestruction) {
    {
        CSoundBank bank(&driver);
        Load(bank, {100000});
        EXPECT_FALSE(driver.Step());
        EXPECT_EQ(bank.Play(3), -1);
        EXPECT_FALSE(driver.Started()) << "a refused Play releases nothing";
        bank.Play(0);
        EXPECT_TRUE(driver.Step());
        ASSERT_EQ(out.OpenStreamCount(), 1);
    }
    // Destruction stopped the driver, then the sounding stream.
    EXPECT_FALSE(driver.Step());
    EXPECT_EQ(out.OpenStreamCount(), 0);
    EXPECT_EQ(out.Stream(0).nResets, 1);
    EXPECT_EQ(out.Stream(0).done, out.Stream(0).written);
}

TEST_F(SoundBankPlayer, DestructionStopsTwentyOneSoundingStreamsBeforeFreeing) {
    {
        CSoundBank bank;
        Load(bank, std::vector<uint32_t>(21, 500000));
        for (uint32_t i = 0; i < 21; ++i) bank.Play(i);
        // The worker runs on its own; the simulated clock stands still, so
        // every ring fills and stays queued.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((out.OpenStreamCount() < 21 || out.QueuedBuffers() < 21 * 20) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(out.QueuedBuffers(), 21 * 20);
    }
    // Stopped: nothing queued, every stream reset once and closed.
    EXPECT_EQ(out.QueuedBuffers(), 0);
    EXPECT_EQ(out.OpenStreamCount(), 0);
    ASSERT_EQ(out.StreamCount(), 21u);
    for (size_t k = 0; k < 21; ++k) {
        const auto s = out.Stream(k);
        EXPECT_EQ(s.nResets, 1);
        EXPECT_EQ(s.done, s.written);
    }
}

}  // namespace
