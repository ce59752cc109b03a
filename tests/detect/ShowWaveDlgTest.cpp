// The detection window on a recording host: schedule, drawing calls, sounds,
// closing and release.

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

namespace {

// Distinct red levels: top cell 15 (2, 1), middle 19 (2, 5), bottom 2 (0, 2).
uint8_t PermutedLevel(int row, int col) {
    const int n = row * 7 + col;
    return static_cast<uint8_t>(((n * 8 + 5) % 21) * 10 + 20);
}

int CountLines(const std::string& text, const std::string& prefix) {
    int n = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        n += text.compare(at, prefix.size(), prefix) == 0;
        at = end + 1;
    }
    return n;
}

std::string PenCall(COLORREF color) { return "SelectPen 0 2 " + std::to_string(color); }

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

    // Opens the window as the launcher does; its host window, or null when
    // it closed during its initialisation.
    FakeShowWindow* Open(const TestLauncher& launcher) {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    void AddFakeClip(const std::string& path, int w, int h, uint32_t rate, uint32_t scale,
                     uint32_t frames) {
        FakeVideoClip clip;
        clip.info.dwWidth = static_cast<uint32_t>(w);
        clip.info.dwHeight = static_cast<uint32_t>(h);
        clip.info.dwRate = rate;
        clip.info.dwScale = scale;
        FakeVideoStream stream;
        stream.dwLength = frames;
        stream.nWidth = w;
        stream.nHeight = h;
        clip.streams.push_back(stream);
        fakeVideo.AddClip(path, clip);
    }

    // Frame ticks 1..count; returns the ticks that ranked (armed the play timer).
    static std::vector<int> FrameTicks(FakeShowWindow* w, int count) {
        std::vector<int> ranked;
        for (int k = 1; k <= count; ++k) {
            const int before = w->TimerStarts(TIMER_PLAY);
            w->SendTimer(TIMER_FRAME);
            w->recorder.blits.clear();
            if (w->TimerStarts(TIMER_PLAY) > before) ranked.push_back(k);
        }
        return ranked;
    }

    bool WaitForStreams(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waveOut.StreamCount() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return waveOut.StreamCount() >= count;
    }

    std::set<uint32_t> StreamRates() const {
        std::set<uint32_t> rates;
        for (size_t i = 0; i < waveOut.StreamCount(); ++i)
            rates.insert(waveOut.Stream(i).wfx.nSamplesPerSec);
        return rates;
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

void PrintTo(const ScheduleCase& c, std::ostream* os) {
    *os << c.rate << "/" << c.scale << " fps";
}

class DetectSchedule : public DetectWindow, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(DetectSchedule, RanksOnTheTicksThePeriodGives) {
    const ScheduleCase& c = GetParam();
    AddFakeClip("clip.avi", 64, 48, c.rate, c.scale, c.frames);
    TestLauncher launcher;
    launcher.strAviPath = "clip.avi";
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_FRAME), c.period);

    const int ticks = c.rankingTicks.back();
    EXPECT_EQ(FrameTicks(w, ticks), c.rankingTicks);
    EXPECT_EQ(w->TimerPeriod(TIMER_PLAY), c.period);
    EXPECT_EQ(g_pDetectShow->TickCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DetectSchedule,
    ::testing::Values(ScheduleCase{25, 1, 70, 40, {22, 43, 64}},
                      ScheduleCase{30000, 1001, 80, 34, {26, 51, 76}},
                      ScheduleCase{1, 1, 6, 1000, {2, 3, 4, 5}},
                      ScheduleCase{1000, 1, 1700, 1, {835, 1669}}));

TEST_F(DetectWindow, RankingOutlinesTheChosenCellsAndThePlayTickSoundsAndWritesThem) {
    platform::SetVideoFiles(&ffmpeg);
    ClipOptions options;
    options.width = 224;  // cells of 32 x 40
    options.height = 120;
    options.frames = 30;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip("detect-cells.avi", options, PermutedLevel);
    WriteTestWaves(launcher, TestDataPath("detect-waves-21-"), 21);
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);

    const std::vector<int> expected = ExpectedCells(PermutedLevel);
    ASSERT_EQ(expected, (std::vector<int>{15, 19, 2}));
    EXPECT_EQ(FrameTicks(w, 21), std::vector<int>{});
    w->recorder.calls.clear();
    EXPECT_EQ(FrameTicks(w, 1), std::vector<int>{1});

    const CellScore* chosen = g_pDetectShow->ChosenCells();
    const int left = (1024 - 224) / 2;
    const int top = (768 - 120) / 2;
    const COLORREF colors[3] = {0x00C8C8FF, 0x00C8FFC8, 0x00FFC8C8};
    const std::vector<std::string>& calls = w->recorder.calls;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(chosen[i].nRow * 7 + chosen[i].nCol, expected[i]) << "result " << i;
        EXPECT_EQ(chosen[i].dMean, PermutedLevel(chosen[i].nRow, chosen[i].nCol));
        const int x = left + 32 * chosen[i].nCol;
        const int y = top + 40 * chosen[i].nRow;
        const std::vector<std::string> outline = {
            PenCall(colors[i]),
            "MoveTo " + std::to_string(x) + " " + std::to_string(y),
            "LineTo " + std::to_string(x) + " " + std::to_string(y + 40),
            "LineTo " + std::to_string(x + 32) + " " + std::to_string(y + 40),
            "LineTo " + std::to_string(x + 32) + " " + std::to_string(y),
            "LineTo " + std::to_string(x) + " " + std::to_string(y)};
        EXPECT_NE(std::search(calls.begin(), calls.end(), outline.begin(), outline.end()),
                  calls.end())
            << "outline " << i;
    }
    // The picture first, the outlines over it, and the pen put back each time.
    EXPECT_EQ(calls.front().rfind("StretchDIBits", 0), 0u);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& s) { return s.rfind("SelectPen", 0) == 0; }),
              6);
    EXPECT_EQ(w->recorder.pen.nWidth, Pen{}.nWidth);

    // One period later: the play tick.
    w->recorder.calls.clear();
    w->SendTimer(TIMER_PLAY);
    EXPECT_FALSE(w->HasTimer(TIMER_PLAY));
    EXPECT_TRUE(w->HasTimer(TIMER_FRAME));
    EXPECT_EQ(w->recorder.calls,
              (std::vector<std::string>{"SetBkMode 1", "SetTextColor 16763080",
                                        "SelectFont 2 1 바탕체", "Rectangle 0 80 0 0",
                                        "TextOut 0 0 15", "Rectangle 0 80 0 0", "TextOut 0 0 19",
                                        "Rectangle 0 80 0 0", "TextOut 0 0 2", "SelectFont 0 0 "}));
    EXPECT_EQ(g_pDetectShow->CurCell(), 2);

    ASSERT_TRUE(WaitForStreams(3));
    EXPECT_EQ(StreamRates(), (std::set<uint32_t>{TestWaveRate(15), TestWaveRate(19),
                                                 TestWaveRate(2)}));
}

TEST_F(DetectWindow, CellsWithoutALoadedWaveAreRefusedButStillWritten) {
    platform::SetVideoFiles(&ffmpeg);
    ClipOptions options;
    options.width = 224;
    options.height = 120;
    options.frames = 30;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip("detect-cells-5.avi", options, PermutedLevel);
    WriteTestWaves(launcher, TestDataPath("detect-waves-5-"), 5);
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);

    FrameTicks(w, 22);
    w->recorder.calls.clear();
    w->SendTimer(TIMER_PLAY);
    const std::vector<std::string>& calls = w->recorder.calls;
    for (const char* text : {"TextOut 0 0 15", "TextOut 0 0 19", "TextOut 0 0 2"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), text), calls.end()) << text;

    // Only clip 2 exists of the three; closing stops the bank's worker, so
    // nothing else can open after the count is read.
    ASSERT_TRUE(WaitForStreams(1));
    w->SendRButtonDown(10, 10);
    EXPECT_EQ(StreamRates(), std::set<uint32_t>{TestWaveRate(2)});
    EXPECT_EQ(waveOut.StreamCount(), 1u);
}

struct GeometryCase {
    int w, h;
    int cellWidth, cellHeight;
    int picLeft, picTop;
};

void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.w << " x " << c.h; }

class DetectGeometry : public DetectWindow, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(DetectGeometry, PictureCentredWithItsRedChannelOverIt) {
    const GeometryCase& c = GetParam();
    AddFakeClip("clip.avi", c.w, c.h, 25, 1, 10);
    TestLauncher launcher;
    launcher.strAviPath = "clip.avi";
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    const WindowRect rect = w->GetNormalRect();
    EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}),
              std::vector<int>({0, 0, 1024, 768}));
    EXPECT_EQ(g_pDetectShow->CellWidth(), c.cellWidth);
    EXPECT_EQ(g_pDetectShow->CellHeight(), c.cellHeight);
    EXPECT_EQ(g_pDetectShow->PicLeft(), c.picLeft);
    EXPECT_EQ(g_pDetectShow->PicTop(), c.picTop);

    w->SendTimer(TIMER_FRAME);
    const auto& blits = w->recorder.blits;
    ASSERT_EQ(blits.size(), 2u);
    for (const auto& b : blits) {
        EXPECT_EQ(std::vector<int>({b.xDest, b.yDest, b.cxDest, b.cyDest, b.xSrc, b.ySrc, b.cxSrc,
                                    b.cySrc}),
                  std::vector<int>({c.picLeft, c.picTop, c.w, c.h, 0, 0, c.w, c.h}));
    }
    EXPECT_EQ(blits[0].header.biBitCount, 24);
    // The grey copy is the red channel of frame 1, the one the next tick
    // draws, in rows as packed and as bottom-up as the decoder's own.
    const auto& grey = blits[1];
    ASSERT_EQ(grey.header.biBitCount, 8);
    ASSERT_EQ(grey.bits.size(), static_cast<size_t>(c.w) * c.h);
    for (int row = 0; row < c.h; ++row)
        for (int x = 0; x < c.w; ++x)
            ASSERT_EQ(grey.bits[static_cast<size_t>(row) * c.w + x],
                      FakeVideoFiles::PixelByte(0, 1, x, row, 2))
                << x << "," << row;
}

INSTANTIATE_TEST_SUITE_P(Sizes, DetectGeometry,
                         ::testing::Values(GeometryCase{320, 240, 44, 80, 352, 264},
                                           GeometryCase{1280, 960, 180, 320, -128, -96},
                                           GeometryCase{321, 241, 44, 80, 351, 263},
                                           GeometryCase{1024, 768, 144, 256, 0, 0}));

TEST_F(DetectWindow, StopsAfter51SecondsAndDrawsNothingMore) {
    AddFakeClip("long.avi", 64, 48, 25, 1, 1500);
    TestLauncher launcher;
    launcher.strAviPath = "long.avi";
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);

    int pictures = 0;
    int stopTick = 0;
    for (int k = 1; k <= 1400 && w->HasTimer(TIMER_FRAME); ++k) {
        w->SendTimer(TIMER_FRAME);
        for (const auto& b : w->recorder.blits) pictures += b.header.biBitCount == 24;
        w->recorder.blits.clear();
        stopTick = k;
    }
    // Frames 0 to 51 * 25 are drawn; the next tick finds the segment done.
    EXPECT_EQ(pictures, 1276);
    EXPECT_EQ(stopTick, 1277);
    EXPECT_FALSE(w->HasTimer(TIMER_FRAME));
    EXPECT_EQ(g_pDetectShow->Avi().Segment(0).dwCursor, 0u);
    // A play tick armed by the last ranking still comes and writes.
    w->recorder.calls.clear();
    w->SendTimer(TIMER_PLAY);
    EXPECT_EQ(std::count_if(w->recorder.calls.begin(), w->recorder.calls.end(),
                            [](const std::string& s) { return s.rfind("TextOut", 0) == 0; }),
              3);
}

TEST_F(DetectWindow, ShortClipStopsAtItsEnd) {
    AddFakeClip("short.avi", 64, 48, 25, 1, 100);
    TestLauncher launcher;
    launcher.strAviPath = "short.avi";
    FakeShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);

    int pictures = 0;
    int ticks = 0;
    while (ticks < 200 && w->HasTimer(TIMER_FRAME)) {
        w->SendTimer(TIMER_FRAME);
        for (const auto& b : w->recorder.blits) pictures += b.header.biBitCount == 24;
        w->recorder.blits.clear();
        ++ticks;
    }
    EXPECT_EQ(pictures, 100);
    EXPECT_FALSE(w->HasTimer(TIMER_FRAME));
    EXPECT_LE(ticks, 102);
}

TEST_F(DetectWindow, UnplayableClipsCloseAtOnceWithOneLine) {
    AddFakeClip("slow.avi", 64, 48, 1, 2, 10);     // 0.5 frames per second
    AddFakeClip("fast.avi", 64, 48, 1001, 1, 10);  // more than 1000
    platform::SetVideoFiles(&ffmpeg);
    ClipOptions audio;
    audio.audioOnly = true;
    audio.frames = 10;
    std::string error;
    const std::string audioOnly = TestDataPath("detect-audio-only.avi");
    ASSERT_TRUE(WriteClip(audioOnly, audio, [](int, uint8_t*, int, int) {}, &error)) << error;

    struct Case {
        std::string path;
        bool fake;
        size_t messages;
    } cases[] = {{TestDataPath("detect-no-such-clip.avi"), false, 0},
                 {audioOnly, false, 1},
                 {"slow.avi", true, 0},
                 {"fast.avi", true, 0}};
    for (const Case& c : cases) {
        platform::SetVideoFiles(c.fake ? static_cast<IVideoFiles*>(&fakeVideo) : &ffmpeg);
        messages.texts.clear();
        TestLauncher launcher;
        launcher.strAviPath = c.path;
        testing::internal::CaptureStderr();
        EXPECT_EQ(Open(launcher), nullptr) << c.path;
        // The decoding library may log on its own; ours is the one line.
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(CountLines(err, "detection window: "), 1) << c.path << ": " << err;
        EXPECT_FALSE(g_bDetectShowOpen) << c.path;
        EXPECT_EQ(g_pDetectShow, nullptr) << c.path;
        EXPECT_TRUE(windows.Last()->Destroyed()) << c.path;
        EXPECT_EQ(messages.texts,
                  std::vector<std::string>(c.messages, std::string("Don't find codepack")))
            << c.path;
    }
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);
}

TEST_F(DetectWindow, CameraModeIsNotAvailableYetAndClosesAtOnce) {
    TestLauncher launcher;
    launcher.bUseCamera = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Open(launcher), nullptr);
    EXPECT_EQ(CountLines(testing::internal::GetCapturedStderr(), "detection window: "), 1);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_TRUE(windows.Last()->Destroyed());
}

// Each closed window takes its bank, worker and clip reader with it before
// the next is made; LSan checks that nothing is left behind.
TEST_F(DetectWindow, FiftyOpenCloseCyclesLeaveNothingBehind) {
    AddFakeClip("clip.avi", 64, 48, 25, 1, 60);
    TestLauncher launcher;
    launcher.strAviPath = "clip.avi";
    WriteTestWaves(launcher, TestDataPath("detect-waves-cycle-"), 21);
    for (int cycle = 0; cycle < 50; ++cycle) {
        ASSERT_EQ(g_pDetectShow, nullptr) << cycle;
        FakeShowWindow* w = Open(launcher);
        ASSERT_NE(w, nullptr) << cycle;
        FrameTicks(w, 22);
        w->SendTimer(TIMER_PLAY);  // raises play requests the worker may be serving
        if (cycle % 2 == 0) {
            w->SendRButtonDown(100, 100);
        } else {
            g_pDetectShow->CloseShow();  // as the launcher does before reopening
        }
        EXPECT_TRUE(w->Destroyed()) << cycle;
        EXPECT_FALSE(g_bDetectShowOpen) << cycle;
        EXPECT_EQ(g_pDetectShow, nullptr) << cycle;
        EXPECT_EQ(fakeVideo.LiveObjects(), 0) << cycle;
        EXPECT_EQ(waveOut.OpenStreamCount(), 0) << cycle;
    }
    EXPECT_EQ(waveOut.ProtocolErrors(), 0);
}

}  // namespace
