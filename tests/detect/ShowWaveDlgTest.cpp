// The detection window on a recording host: schedule, play tick, clip end,
// unplayable clips, and release of everything a closed window holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "detect/ShowWaveDlg.h"
#include "platform/MessageBox.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/sound/WavTestFiles.h"

namespace {

int CountLines(const std::string& text, const std::string& prefix) {
    const std::string lines = "\n" + text, key = "\n" + prefix;
    int n = 0;
    for (size_t at = lines.find(key); at != std::string::npos; at = lines.find(key, at + 1)) ++n;
    return n;
}

class DetectWindow : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&fakeVideo);
        platform::SetWaveOut(&waveOut);
        platform::SetMessageBox(&messages);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetMessageBox(nullptr);
    }

    // Opens the window as the launcher does; null when it closed at once.
    FakeShowWindow* Open(const TestLauncher& launcher) {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    TestLauncher FakeClip(uint32_t rate, uint32_t scale, uint32_t frames) {
        return AddFakeClip(fakeVideo, "clip.avi", 64, 48, rate, scale, frames);
    }

    // Frame ticks 1..count; the ticks that ranked (started the play timer).
    static std::vector<int> FrameTicks(FakeShowWindow* w, int count, int* pictures = nullptr) {
        std::vector<int> ranked;
        for (int k = 1; k <= count && w->HasTimer(TIMER_FRAME); ++k) {
            const int before = w->TimerStarts(TIMER_PLAY);
            w->SendTimer(TIMER_FRAME);
            for (const auto& b : w->recorder.blits)
                if (pictures) *pictures += b.header.biBitCount == 24;
            w->recorder.blits.clear();
            if (w->TimerStarts(TIMER_PLAY) > before) ranked.push_back(k);
        }
        return ranked;
    }

    FakeShowWindows windows;
    FakeVideoFiles fakeVideo;
    FfmpegVideoFiles ffmpeg;
    SimulatedWaveOut waveOut;
    RecordingMessageBox messages;
};

struct ScheduleCase {
    uint32_t rate, scale, frames;
    unsigned period;
    std::vector<int> rankingTicks;
};
void PrintTo(const ScheduleCase& c, std::ostream* os) { *os << c.rate << "/" << c.scale; }

class DetectSchedule : public DetectWindow, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(DetectSchedule, RanksOnTheTicksThePeriodGives) {
    const ScheduleCase& c = GetParam();
    FakeShowWindow* w = Open(FakeClip(c.rate, c.scale, c.frames));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_FRAME), c.period);
    EXPECT_EQ(FrameTicks(w, c.rankingTicks.back()), c.rankingTicks);
    EXPECT_EQ(w->TimerPeriod(TIMER_PLAY), c.period);
}

INSTANTIATE_TEST_SUITE_P(Rates, DetectSchedule,
                         ::testing::Values(ScheduleCase{25, 1, 70, 40, {22, 43, 64}},
                                           ScheduleCase{30000, 1001, 80, 34, {26, 51, 76}},
                                           ScheduleCase{1, 1, 6, 1000, {2, 3, 4, 5}},
                                           ScheduleCase{1000, 1, 1700, 1, {835, 1669}}));

// With n waves loaded only cells below n sound; all three numbers are written.
class DetectPlayTick : public DetectWindow, public ::testing::WithParamInterface<int> {};

TEST_P(DetectPlayTick, SoundsTheChosenCellsThatHaveAWaveAndWritesAllThree) {
    platform::SetVideoFiles(&ffmpeg);
    const int waves = GetParam();
    TestLauncher launcher = PermutedCellClip("detect-play-" + std::to_string(waves) + ".avi");
    WriteTestWaves(launcher, TestDataPath("detect-w" + std::to_string(waves) + "-"), waves);
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);

    ASSERT_EQ(FrameTicks(w, 22), std::vector<int>{22});
    const std::vector<int> expected = ExpectedCells(PermutedLevel);
    const CellScore* chosen = g_pDetectShow->ChosenCells();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(chosen[i].nRow * 7 + chosen[i].nCol, expected[i]) << i;
        EXPECT_EQ(chosen[i].dMean, PermutedLevel(chosen[i].nRow, chosen[i].nCol)) << i;
    }

    w->recorder.calls.clear();
    w->SendTimer(TIMER_PLAY);
    EXPECT_FALSE(w->HasTimer(TIMER_PLAY));
    std::vector<std::string> calls = {"SetBkMode 1", "SetTextColor 16763080",
                                      "SelectFont 2 1 바탕체"};
    for (int cell : expected) {
        calls.push_back("Rectangle 0 80 0 0");
        calls.push_back("TextOut 0 0 " + std::to_string(cell));
    }
    calls.push_back("SelectFont 0 0 ");
    EXPECT_EQ(w->recorder.calls, calls);
    EXPECT_EQ(g_pDetectShow->CurCell(), expected[2]);

    std::set<uint32_t> rates;
    for (int cell : expected)
        if (cell < waves) rates.insert(TestWaveRate(cell));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waveOut.StreamCount() < rates.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // Closing stops the bank's worker: nothing more can open after this.
    w->SendRButtonDown(5, 5);
    std::set<uint32_t> opened;
    for (size_t i = 0; i < waveOut.StreamCount(); ++i)
        opened.insert(waveOut.Stream(i).wfx.nSamplesPerSec);
    EXPECT_EQ(opened, rates);
    EXPECT_EQ(waveOut.StreamCount(), rates.size());
}

INSTANTIATE_TEST_SUITE_P(Waves, DetectPlayTick, ::testing::Values(21, 5));

struct ClipEndCase {
    uint32_t frames;
    int pictures;
};
void PrintTo(const ClipEndCase& c, std::ostream* os) { *os << c.frames << " frames"; }

class DetectClipEnd : public DetectWindow, public ::testing::WithParamInterface<ClipEndCase> {};

TEST_P(DetectClipEnd, StopsAt51SecondsOrTheClipsEndAndDrawsNothingMore) {
    FakeShowWindow* w = Open(FakeClip(25, 1, GetParam().frames));
    ASSERT_NE(w, nullptr);
    int pictures = 0;
    FrameTicks(w, 2000, &pictures);
    EXPECT_EQ(pictures, GetParam().pictures);
    EXPECT_FALSE(w->HasTimer(TIMER_FRAME));
    EXPECT_EQ(g_pDetectShow->Avi().Segment(0).dwCursor, 0u);
    // The play tick of the last ranking still comes and writes.
    w->recorder.calls.clear();
    w->SendTimer(TIMER_PLAY);
    EXPECT_EQ(std::count_if(w->recorder.calls.begin(), w->recorder.calls.end(),
                            [](const std::string& s) { return s.rfind("TextOut", 0) == 0; }),
              3);
}

// Frames 0 to 51 x 25 of a long clip; every frame of a short one.
INSTANTIATE_TEST_SUITE_P(Clips, DetectClipEnd,
                         ::testing::Values(ClipEndCase{1500, 1276}, ClipEndCase{100, 100}));

// With repeat the clip starts again from its first frame in the very tick
// that found it run out, and the ranking schedule starts as a fresh show's.
TEST_F(DetectWindow, RepeatStartsTheClipAgainWithAFreshSchedule) {
    TestLauncher launcher = FakeClip(25, 1, 100);
    launcher.bRepeat = 1;
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    int pictures = 0;
    const std::vector<int> ranked = FrameTicks(w, 250, &pictures);
    // The segment of a clip shorter than 51 s holds one frame number past
    // the clip, which draws nothing (as without repeat): ticks 101 and 202
    // draw nothing, 102 and 203 find the segment out and draw frame 0.
    EXPECT_EQ(pictures, 248);
    EXPECT_TRUE(w->HasTimer(TIMER_FRAME));
    EXPECT_EQ(ranked, (std::vector<int>{22, 43, 64, 85, 123, 144, 165, 186, 224, 245}));
    EXPECT_EQ(g_pDetectShow->Repeats(), 2u);
    EXPECT_EQ(g_pDetectShow->Avi().Segment(0).dwCursor, 48u);
}

// On a surface nobody sees the window ranks exactly what it ranks on one
// that shows, also where the frame of a ranking cannot be delivered and the
// channel is the last one that could (frames 21 and 40 here).
TEST_F(DetectWindow, UnseenSurfaceRanksWhatAShownOneRanks) {
    FakeVideoClip clip;
    clip.info = VideoFileInfo{0, 64, 48, 25, 1};
    clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, 200, 64, 48, true, {22, 41, 42, 43}});
    fakeVideo.AddClip("gaps.avi", clip);
    TestLauncher launcher;
    launcher.strAviPath = "gaps.avi";
    std::vector<int> rankings[2];
    for (const bool bShows : {true, false}) {
        FakeShowWindow* w = Open(launcher);
        ASSERT_NE(w, nullptr);
        w->recorder.bShows = bShows;
        for (int k = 1; k <= 90; ++k) {
            const int before = w->TimerStarts(TIMER_PLAY);
            w->SendTimer(TIMER_FRAME);
            if (w->TimerStarts(TIMER_PLAY) == before) continue;
            for (int i = 0; i < 3; ++i) {
                const CellScore& cell = g_pDetectShow->ChosenCells()[i];
                rankings[bShows].push_back(cell.nRow * 7 + cell.nCol);
            }
        }
        EXPECT_EQ(w->recorder.blits.empty(), !bShows);
        g_pDetectShow->CloseShow();
        g_pDetectShow = nullptr;
    }
    EXPECT_EQ(rankings[0].size(), 12u);
    EXPECT_EQ(rankings[0], rankings[1]);
}

TEST_F(DetectWindow, UnplayableClipsAndCameraModeCloseAtOnceWithOneLine) {
    FakeClip(1, 2, 10);  // 0.5 frames per second
    AddFakeClip(fakeVideo, "fast.avi", 64, 48, 1001, 1, 10);
    ClipOptions audio;
    audio.audioOnly = true;
    std::string error;
    const std::string audioOnly = TestDataPath("detect-audio-only.avi");
    ASSERT_TRUE(WriteClip(
        audioOnly, audio, [](int, uint8_t*, int, int) {}, &error))
        << error;

    struct Case {
        std::string path;
        IVideoFiles* files;
        size_t messages;
        int camera;
    } cases[] = {{TestDataPath("detect-no-such-clip.avi"), &ffmpeg, 0, 0},
                 {audioOnly, &ffmpeg, 1, 0},
                 {"clip.avi", &fakeVideo, 0, 0},
                 {"fast.avi", &fakeVideo, 0, 0},
                 {"", &fakeVideo, 0, 1}};
    for (const Case& c : cases) {
        platform::SetVideoFiles(c.files);
        messages.texts.clear();
        TestLauncher launcher;
        launcher.strAviPath = c.path;
        launcher.bUseCamera = c.camera;
        testing::internal::CaptureStderr();
        EXPECT_EQ(Open(launcher), nullptr) << c.path;
        // The decoding library may log on its own; ours is the one line.
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(CountLines(err, "detection window: "), 1) << c.path << ": " << err;
        EXPECT_EQ(g_pDetectShow, nullptr) << c.path;
        EXPECT_TRUE(windows.Last()->Destroyed()) << c.path;
        EXPECT_EQ(messages.texts, std::vector<std::string>(c.messages, "Don't find codepack"));
    }
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);
}

// A list written on Windows names its sounds in code page 949 bytes; the
// files carry UTF-8 names. The name as it stands wins where it exists, and
// a UTF-8 name is never read as code page 949.
TEST_F(DetectWindow, Cp949NamesFindTheirUtf8FilesAndAreToldOnce) {
    wavtest::TempDir dir;
    const auto write = [&dir](const std::string& name, int n) {
        dir.WriteWav(name + ".wav", wavtest::Pcm(1, TestWaveRate(n), 16), wavtest::Pattern(64, n));
    };
    write("\xEB\xB6\x81", 0);  // 북 in UTF-8
    write("\xB1\xDD", 1);      // 금 in code page 949, as it stands ...
    write("\xEA\xB8\x88", 2);  // ... and in UTF-8
    write("\xEC\xB1\x95", 3);  // 챕 in UTF-8: what the UTF-8 é reads as in code page 949
    TestLauncher launcher = FakeClip(25, 1, 60);
    launcher.strWaveFolder = dir.path() + "/";
    launcher.waveNames = {"\xBA\xCF", "\xB1\xDD", "\xC3\xA9"};

    testing::internal::CaptureStderr();
    ASSERT_NE(Open(launcher), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    const CSoundBank& bank = g_pDetectShow->SoundBank();
    ASSERT_EQ(bank.ClipCount(), 2u);
    EXPECT_EQ(bank.Clip(0).wfx.nSamplesPerSec, TestWaveRate(0));
    EXPECT_EQ(bank.Clip(1).wfx.nSamplesPerSec, TestWaveRate(1));
    EXPECT_EQ(CountLines(err, "detection window: 1 wave name(s)"), 1) << err;
    EXPECT_NE(err.find("\xEB\xB6\x81.wav"), std::string::npos) << err;
}

// Each closed window takes its bank, worker and clip reader with it before
// the next is made; LSan checks that nothing is left behind.
TEST_F(DetectWindow, FiftyOpenCloseCyclesLeaveNothingBehind) {
    TestLauncher launcher = FakeClip(25, 1, 60);
    WriteTestWaves(launcher, TestDataPath("detect-waves-cycle-"), 21);
    for (int cycle = 0; cycle < 50; ++cycle) {
        ASSERT_EQ(g_pDetectShow, nullptr) << cycle;
        FakeShowWindow* w = Open(launcher);
        ASSERT_NE(w, nullptr) << cycle;
        FrameTicks(w, 22);
        w->SendTimer(TIMER_PLAY);  // play requests the worker may be serving
        switch (cycle % 3) {
            case 0:
                w->SendRButtonDown(100, 100);
                break;
            case 1:
                g_pDetectShow->CloseShow();
                break;  // as the launcher does
            default:
                delete g_pDetectShow;
                break;  // no second delete (ASan)
        }
        EXPECT_TRUE(w->Destroyed()) << cycle;
        EXPECT_EQ(g_bDetectShowOpen, cycle % 3 == 2) << cycle;
        EXPECT_EQ(g_pDetectShow, nullptr) << cycle;
        EXPECT_EQ(fakeVideo.LiveObjects(), 0) << cycle;
        EXPECT_EQ(waveOut.OpenStreamCount(), 0) << cycle;
    }
    EXPECT_EQ(waveOut.ProtocolErrors(), 0);
}

}  // namespace
