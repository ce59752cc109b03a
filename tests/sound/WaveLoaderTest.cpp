// CSoundBank::AddWave: which files are refused, how long a loaded clip is and
// what it holds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "sound/SoundBank.h"
#include "tests/sound/WavTestFiles.h"

using namespace wavtest;

namespace {

const WAVEFORMATEX kStereo16 = Pcm(2, 44100, 16);

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> ClipBytes(const CSoundBank& bank, int i) {
    const WaveClip& clip = bank.Clip(i);
    return {clip.pData, clip.pData + clip.dwDataLength};
}

}  // namespace

TEST(WaveLoader, RefusesEveryMalformedHeaderAndKeepsTheCount) {
    TempDir dir;
    const std::vector<uint8_t> data = Pattern(100, 1);
    const std::vector<uint8_t> good = Concat(Header(kStereo16, 100), data);

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty file", {}});
    cases.push_back({"43 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 43)});
    auto broken = [&](const char* what, auto edit) {
        std::vector<uint8_t> b = good;
        edit(b);
        cases.push_back({what, b});
    };
    broken("RIFX", [](auto& b) { b[3] = 'X'; });
    broken("lower-case riff", [](auto& b) { std::memcpy(b.data(), "riff", 4); });
    broken("WAVEfmt without the blank", [](auto& b) { b[15] = '_'; });
    broken("AVI form", [](auto& b) { std::memcpy(b.data() + 8, "AVI ", 4); });
    broken("format chunk of 18", [](auto& b) { PutLe32(b, 16, 18); });
    broken("format tag 3 (float)", [](auto& b) { PutLe16(b, 20, 3); });
    broken("extensible format tag", [](auto& b) { PutLe16(b, 20, 0xFFFE); });
    broken("length far beyond the file",
           [](auto& b) { PutLe32(b, 40, static_cast<uint32_t>(b.size() + (16u << 20) + 1)); });
    broken("no data tag, huge RIFF size", [](auto& b) {
        std::memcpy(b.data() + 36, "LIST", 4);
        PutLe32(b, 4, 0xFFFFFF00u);
    });

    CSoundBank bank;
    ASSERT_EQ(bank.AddWave(dir.Write("first.wav", good).c_str()), 1);
    EXPECT_EQ(bank.AddWave((dir.path() + "/missing.wav").c_str()), -1);
    EXPECT_EQ(bank.AddWave(dir.path().c_str()), -1) << "a folder";
    EXPECT_EQ(bank.AddWave(nullptr), -1);
    int n = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(bank.AddWave(dir.Write("bad" + std::to_string(n++) + ".wav", c.bytes).c_str()),
                  -1)
            << c.what;
        EXPECT_EQ(bank.ClipCount(), 1u) << c.what;
    }
    // A refusal uses up no entry: the next good file becomes clip 2.
    EXPECT_EQ(bank.AddWave(
                  dir.Write("second.wav", Concat(Header(kStereo16, 100), Pattern(100, 2))).c_str()),
              2);
    EXPECT_EQ(ClipBytes(bank, 0), data);
    EXPECT_EQ(ClipBytes(bank, 1), Pattern(100, 2));
}

TEST(WaveLoader, TakesTheFormatFromTheHeaderUnchecked) {
    TempDir dir;
    WAVEFORMATEX odd = Pcm(6, 96000, 24);
    odd.nAvgBytesPerSec = 12345;  // not checked here; the output decides
    CSoundBank bank;
    ASSERT_EQ(bank.AddWave(dir.WriteWav("a.wav", odd, Pattern(36, 3)).c_str()), 1);
    const WAVEFORMATEX& wfx = bank.Clip(0).wfx;
    EXPECT_EQ(wfx.wFormatTag, 1);
    EXPECT_EQ(wfx.nChannels, 6);
    EXPECT_EQ(wfx.nSamplesPerSec, 96000u);
    EXPECT_EQ(wfx.nAvgBytesPerSec, 12345u);
    EXPECT_EQ(wfx.nBlockAlign, 18);
    EXPECT_EQ(wfx.wBitsPerSample, 24);
    EXPECT_EQ(wfx.cbSize, 0);
    EXPECT_EQ(bank.Clip(0).bPlayRequest, 0);
}

TEST(WaveLoader, LengthFollowsTheDataTagOrTheRiffSize) {
    TempDir dir;
    CSoundBank bank;
    const std::vector<uint8_t> body = Pattern(20000, 4);

    // Declared shorter than what follows: only that much, trailing chunks ignored.
    std::vector<uint8_t> shorter = Concat(Header(kStereo16, 5000), body);
    ASSERT_EQ(bank.AddWave(dir.Write("short.wav", shorter).c_str()), 1);
    EXPECT_EQ(ClipBytes(bank, 0), std::vector<uint8_t>(body.begin(), body.begin() + 5000));

    // Declared longer than the file (a truncated file): the tail stays zero.
    std::vector<uint8_t> truncated = Concat(Header(kStereo16, 30000), body);
    ASSERT_EQ(bank.AddWave(dir.Write("trunc.wav", truncated).c_str()), 2);
    std::vector<uint8_t> expected = body;
    expected.resize(30000, 0);
    EXPECT_EQ(ClipBytes(bank, 1), expected);

    // No "data" tag at 36 (a LIST chunk first): RIFF size + 16 from offset 44,
    // chunk headers included; with a correct RIFF size the last 52 bytes are zero.
    std::vector<uint8_t> list = Concat(Header(kStereo16, 0), body);
    std::memcpy(list.data() + 36, "LIST", 4);
    PutLe32(list, 40, 4);
    PutLe32(list, 4, static_cast<uint32_t>(list.size() - 8));
    ASSERT_EQ(bank.AddWave(dir.Write("list.wav", list).c_str()), 3);
    ASSERT_EQ(bank.Clip(2).dwDataLength, list.size() - 8 + 16);
    std::vector<uint8_t> listed(list.begin() + 44, list.end());
    listed.resize(listed.size() + 52, 0);
    EXPECT_EQ(ClipBytes(bank, 2), listed);

    // Length 0 loads as a clip of its own.
    ASSERT_EQ(bank.AddWave(dir.WriteWav("empty.wav", kStereo16, {}).c_str()), 4);
    EXPECT_EQ(bank.Clip(3).dwDataLength, 0u);
    EXPECT_NE(bank.Clip(3).pData, nullptr);

    // Just inside the bound of file size + 16 MiB: loads, all zero past the file.
    std::vector<uint8_t> generous = Concat(Header(kStereo16, 0), Pattern(10, 5));
    PutLe32(generous, 40, static_cast<uint32_t>(generous.size() + (16u << 20)));
    ASSERT_EQ(bank.AddWave(dir.Write("generous.wav", generous).c_str()), 5);
    const WaveClip& big = bank.Clip(4);
    EXPECT_EQ(std::vector<uint8_t>(big.pData, big.pData + 10), Pattern(10, 5));
    EXPECT_EQ(big.pData[big.dwDataLength - 1], 0);
}

TEST(WaveLoader, HoldsTwentyOneClipsAndRefusesTheNextWithoutOpeningIt) {
    TempDir dir;
    CSoundBank bank;
    for (int i = 0; i < MAX_WAVE_CLIPS; ++i) {
        const std::string path =
            dir.WriteWav("c" + std::to_string(i) + ".wav", kStereo16, Pattern(64, i));
        ASSERT_EQ(bank.AddWave(path.c_str()), i + 1);
    }
    const std::string extra = dir.WriteWav("extra.wav", kStereo16, Pattern(64, 99));
    EXPECT_EQ(bank.AddWave(extra.c_str()), -1);
    // A FIFO without a writer would block an open: the full table must refuse
    // before opening anything.
    const std::string fifo = dir.path() + "/fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(bank.AddWave(fifo.c_str()), -1);
    EXPECT_EQ(bank.ClipCount(), 21u);
    for (int i = 0; i < MAX_WAVE_CLIPS; ++i) EXPECT_EQ(ClipBytes(bank, i), Pattern(64, i)) << i;
}
