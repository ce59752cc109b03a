// The gate show on a recording host: timing and placement, the zones, one
// whole cycle with the clicks and hovering it must ignore, closing in every
// state, short and unplayable clips, release of closed shows.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gateshow/ShowDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

namespace {

constexpr uintptr_t TIMERS[] = {TIMER_START, TIMER_LOOP, TIMER_ENDING, TIMER_REPLAY};
constexpr int ZONE_POINTS[2][2] = {{580, 200}, {880, 200}};
constexpr int GAP_POINT[2] = {730, 200};  // between the zones

// A clip at 1 frame per second, so a segment's seconds are its frame
// numbers; each frame carries its number (uncompressed, exact).
std::string StampedClip(int frames) {
    static std::set<int> written;
    const std::string path = TestDataPath("gate-stamped-" + std::to_string(frames) + ".avi");
    if (written.insert(frames).second) {
        ClipOptions o;
        o.width = FRAME_STAMP_MIN_WIDTH;
        o.height = FRAME_STAMP_MIN_HEIGHT;
        o.rateNum = 1;
        o.frames = frames;
        // Written aside and renamed: test programs running at once share it.
        const std::string part = path + "." + std::to_string(getpid()) + ".part";
        std::string error;
        EXPECT_TRUE(WriteClip(part, o, PaintFrameStamp, &error)) << error;
        EXPECT_EQ(std::rename(part.c_str(), path.c_str()), 0) << path;
    }
    return path;
}

// What ticks draw playing frames first to last of a clip of `length` frames
// (-1 for a frame past its end, which draws nothing), then with bRunOut the
// tick that finds the segment run out.
void Play(std::vector<int>& ticks, int first, int last, int length, bool bRunOut = true) {
    for (int f = first; f <= last; ++f) ticks.push_back(f < length ? f : -1);
    if (bRunOut) ticks.push_back(-1);
}

// One cycle at 1 frame per second on a clip of `length` frames, each loop
// clicked in zones[g] after `loopTicks` ticks: segment k of gate g spans
// 40g + FIRST[k] to 40g + LAST[k], clamped to the clip's end.
std::vector<int> Cycle(int length, const int zones[4], int loopTicks) {
    static const int FIRST[] = {0, 14, 20, 30}, LAST[] = {13, 19, 29, 39};
    auto first = [&](int g, int k) { return std::min(40 * g + FIRST[k], length); };
    auto last = [&](int g, int k) { return std::min(40 * g + LAST[k], length); };
    std::vector<int> ticks;
    for (int g = 0; g < 4; ++g) {
        Play(ticks, first(g, 0), last(g, 0), length);
        Play(ticks, first(g, 1), first(g, 1) + loopTicks - 1, length, false);
        Play(ticks, first(g, 2 + zones[g]), last(g, 2 + zones[g]), length);
    }
    for (int g = 0; g < 4; ++g) Play(ticks, first(g, 2 + zones[g]), last(g, 2 + zones[g]), length);
    return ticks;
}

class GateShow : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&ffmpeg);
        g_bGateShowOpen = false;
        g_pGateShow = nullptr;
    }
    void TearDown() override {
        if (g_pGateShow) g_pGateShow->CloseShow();
        platform::SetOsc(nullptr);
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
    }

    // Opens the show as the launcher does; null when it closed at once.
    FakeShowWindow* Open(const std::string& path, bool bPreload = true) {
        g_bGateShowOpen = true;
        g_pGateShow = new CShowDlg(path, bPreload);
        return g_pGateShow->Create() ? windows.Last() : nullptr;
    }

    std::string FakeClip(uint32_t rate, uint32_t scale, int w, int h) {
        const std::string path = std::to_string(rate) + "-" + std::to_string(w) + ".avi";
        FakeVideoClip clip;
        clip.info = VideoFileInfo{0, uint32_t(w), uint32_t(h), rate, scale};
        clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, 5000, w, h, true, {}});
        fakeVideo.AddClip(path, clip);
        return path;
    }

    // The one timer that runs; -1 for none or more than one.
    static int Running(const FakeShowWindow* w) {
        int id = -1;
        for (uintptr_t t : TIMERS)
            if (w->HasTimer(t)) id = id == -1 ? static_cast<int>(t) : -2;
        return std::max(id, -1);
    }

    // One tick of the running timer: the frame it drew, -1 for none.
    static int Tick(FakeShowWindow* w) {
        const int id = Running(w);
        EXPECT_GE(id, 0);
        w->recorder.blits.clear();
        w->SendTimer(static_cast<uintptr_t>(id));
        if (w->recorder.blits.empty()) return -1;
        const RecordingDeviceContext::Blit& b = w->recorder.blits.back();
        return ReadFrameStamp(b.bits.data(), b.header.biWidth, b.header.biHeight);
    }

    FakeShowWindows windows;
    FfmpegVideoFiles ffmpeg;
    FakeVideoFiles fakeVideo;
};

struct PlacementCase {
    uint32_t rate, scale;
    int width, height;
    unsigned period;
    int left, top;
};
void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.rate << "/" << c.scale << " " << c.width << "x" << c.height;
}

class GateShowPlacement : public GateShow, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(GateShowPlacement, PeriodFromWholeFramesPerSecondAndPictureCentred) {
    const PlacementCase& c = GetParam();
    platform::SetVideoFiles(&fakeVideo);
    FakeShowWindow* w = Open(FakeClip(c.rate, c.scale, c.width, c.height), false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_START), c.period);
    EXPECT_EQ(Running(w), static_cast<int>(TIMER_START));
    EXPECT_EQ(g_pGateShow->PicLeft(), c.left);
    EXPECT_EQ(g_pGateShow->PicTop(), c.top);
    const WindowRect rect = w->GetNormalRect();
    EXPECT_EQ(std::vector<int>({rect.left, rect.top, rect.right, rect.bottom}),
              std::vector<int>({0, 0, 1024, 768}));
}

INSTANTIATE_TEST_SUITE_P(Clips, GateShowPlacement,
                         ::testing::Values(PlacementCase{25, 1, 640, 480, 40, 192, 144},
                                           PlacementCase{30000, 1001, 1024, 768, 34, 0, 0},
                                           PlacementCase{30, 1, 720, 480, 33, 152, 144},
                                           PlacementCase{15, 1, 1280, 720, 66, -128, 24},
                                           PlacementCase{1000, 1, 1281, 769, 1, -128, 0}));

TEST_F(GateShow, ZonesHitOnlyStrictlyInside) {
    platform::SetVideoFiles(&fakeVideo);
    ASSERT_NE(Open(FakeClip(25, 1, 64, 48), false), nullptr);
    const int points[][3] = {{460, 100, -1}, {461, 100, 0},  {700, 100, -1}, {699, 339, 0},
                             {730, 200, -1}, {999, 339, 1},  {800, 60, -1},  {800, 61, 1},
                             {800, 340, -1}, {1000, 200, -1}};
    for (const auto& p : points)
        EXPECT_EQ(g_pGateShow->HitTestZones(p[0], p[1]), p[2]) << p[0] << ", " << p[1];
}

// The segment table on the build's own clip, at 25 frames per second.
TEST_F(GateShow, TheBuildsClipFillsTheScreenAndHoldsAllSixteenSegments) {
    ASSERT_NE(Open(ZARN_GATE_CLIP), nullptr);
    EXPECT_EQ(g_pGateShow->FramePeriod(), 40u);
    EXPECT_EQ(g_pGateShow->PicLeft() + g_pGateShow->PicTop(), 0);
    const CAviControl& avi = g_pGateShow->Avi();
    EXPECT_GE(avi.StreamLength(), 4000u);
    const char* kinds[] = {"St", "Lp", "E1", "E2"};
    const uint32_t first[] = {0, 350, 500, 750}, last[] = {349, 499, 749, 999};
    for (int i = 0; i < 16; ++i) {
        const ClipSegment& s = avi.Segment(i);
        EXPECT_EQ(std::string(s.szName), "Gate" + std::to_string(i / 4 + 1) + kinds[i % 4]);
        EXPECT_EQ(s.dwFirstFrame, 1000 * (i / 4) + first[i % 4]) << s.szName;
        EXPECT_EQ(s.dwLastFrame, 1000 * (i / 4) + last[i % 4]) << s.szName;
    }
}

// Clicks in zones 1, 0, 0, 1 after four ticks of each loop. Clicks outside
// the zones, before a loop's first tick, right after an accepted click and
// in every other state change nothing. Hovering zone 0 outlines it only
// while a loop waits. The second cycle resumes Gate1Lp after the frame the
// click left it at, then loops it from its first frame.
class GateShowCycle : public GateShow, public ::testing::WithParamInterface<bool> {};

TEST_P(GateShowCycle, PlaysTheChosenEndingsReplaysThemAndResumesTheLoop) {
    FakeShowWindow* w = Open(StampedClip(160), GetParam());
    ASSERT_NE(w, nullptr);
    const int zones[] = {1, 0, 0, 1};
    std::vector<int> expected = Cycle(160, zones, 4);
    Play(expected, 0, 13, 160);
    Play(expected, 18, 19, 160);
    Play(expected, 14, 15, 160, false);

    const std::vector<std::string> outline = {
        "SelectPen 0 2 255", "MoveTo 460 60", "LineTo 700 60",  "LineTo 700 340",
        "LineTo 460 340",    "LineTo 460 60", "SelectPen 0 1 0"};
    std::vector<int> drawn;
    int gate = 0, loopTicks = 0, wrongHovers = 0;
    while (drawn.size() < expected.size()) {
        const int id = Running(w);
        loopTicks = id == TIMER_LOOP ? loopTicks : 0;
        w->recorder.calls.clear();
        w->SendMouseMove(GAP_POINT[0], GAP_POINT[1]);
        w->SendMouseMove(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
        const bool waits = id == TIMER_LOOP && loopTicks > 0;
        wrongHovers += w->recorder.calls != (waits ? outline : std::vector<std::string>());
        if (id != TIMER_LOOP || loopTicks == 0) {
            w->SendLButtonDown(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
        } else if (loopTicks == 4 && gate < 4) {
            const int z = zones[gate++];
            w->SendLButtonDown(GAP_POINT[0], GAP_POINT[1]);
            w->SendLButtonDown(ZONE_POINTS[z][0], ZONE_POINTS[z][1]);
            w->SendLButtonDown(ZONE_POINTS[1 - z][0], ZONE_POINTS[1 - z][1]);
        }
        if (Running(w) == TIMER_REPLAY && g_pGateShow->QueuePos() == 0) {
            const int32_t* queue = g_pGateShow->ChoiceQueue();
            EXPECT_EQ(std::vector<int>(queue, queue + 4), (std::vector<int>{3, 6, 10, 15}));
        }
        drawn.push_back(Tick(w));
        loopTicks += id == TIMER_LOOP;
    }
    EXPECT_EQ(drawn, expected);
    EXPECT_EQ(gate, 4);
    EXPECT_EQ(wrongHovers, 0);
}

INSTANTIATE_TEST_SUITE_P(Preload, GateShowCycle, ::testing::Bool());

// Later segments of a clip shorter than the table shrink to its end frame,
// which cannot be drawn: each takes two silent ticks, and the cycle still
// comes round to Gate1St.
TEST_F(GateShow, ShortClipPlaysItsClampedSegmentsAsSilentTicks) {
    FakeShowWindow* w = Open(StampedClip(50));
    ASSERT_NE(w, nullptr);
    const int zones[] = {0, 0, 0, 0};
    std::vector<int> expected = Cycle(50, zones, 1);
    expected.push_back(0);
    std::vector<int> drawn;
    while (drawn.size() < expected.size()) {
        drawn.push_back(Tick(w));
        if (g_pGateShow->AcceptClick()) w->SendLButtonDown(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
    }
    EXPECT_EQ(drawn, expected);
    const int32_t* queue = g_pGateShow->ChoiceQueue();
    EXPECT_EQ(std::vector<int>(queue, queue + 4), (std::vector<int>{2, 6, 10, 14}));
}

class GateShowRightClick : public GateShow, public ::testing::WithParamInterface<uintptr_t> {};

TEST_P(GateShowRightClick, ClosesTheShowInAnyState) {
    FakeShowWindow* w = Open(StampedClip(160));
    ASSERT_NE(w, nullptr);
    for (int k = 0; k < 1000 && Running(w) != static_cast<int>(GetParam()); ++k) {
        Tick(w);
        if (g_pGateShow->AcceptClick()) w->SendLButtonDown(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
    }
    ASSERT_EQ(Running(w), static_cast<int>(GetParam()));
    Tick(w);
    w->SendRButtonDown(600, 200);
    EXPECT_TRUE(w->Destroyed());
    EXPECT_EQ(Running(w), -1);
    EXPECT_FALSE(g_bGateShowOpen);
    EXPECT_EQ(g_pGateShow, nullptr);
}

INSTANTIATE_TEST_SUITE_P(States, GateShowRightClick, ::testing::ValuesIn(TIMERS));

TEST_F(GateShow, UnplayableClipsAndNoWindowCloseAtOnce) {
    const std::pair<std::string, IVideoFiles*> cases[] = {
        {TestDataPath("gate-no-such-clip.avi"), &ffmpeg},
        {FakeClip(1, 2, 64, 48), &fakeVideo},  // 0.5 frames per second
        {FakeClip(1001, 1, 64, 48), &fakeVideo}};
    for (const auto& [path, files] : cases) {
        platform::SetVideoFiles(files);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Open(path), nullptr) << path;
        // The decoding library may log on its own; ours is the one line.
        const std::string err = testing::internal::GetCapturedStderr();
        const size_t at = err.find("gate show: ");
        EXPECT_NE(at, std::string::npos) << path << ": " << err;
        EXPECT_EQ(err.find("gate show: ", at + 1), std::string::npos) << path << ": " << err;
        EXPECT_FALSE(g_bGateShowOpen) << path;
        EXPECT_EQ(g_pGateShow, nullptr) << path;
        EXPECT_TRUE(windows.Last()->Destroyed()) << path;
    }
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);

    // No window to be had at all.
    platform::SetShowWindows(nullptr);
    EXPECT_EQ(Open(FakeClip(25, 1, 64, 48)), nullptr);
    EXPECT_FALSE(g_bGateShowOpen);
    EXPECT_EQ(g_pGateShow, nullptr);
}

// A closed show frees itself with its readers and their threads; one the
// launcher deletes while open takes its window down. LSan checks the rest.
TEST_F(GateShow, FiftyOpenCloseCyclesLeaveNothingBehind) {
    const std::string clip = StampedClip(160);
    for (int cycle = 0; cycle < 50; ++cycle) {
        ASSERT_EQ(g_pGateShow, nullptr) << cycle;
        FakeShowWindow* w = Open(clip);
        ASSERT_NE(w, nullptr) << cycle;
        for (int k = 0; k < cycle % 20; ++k) Tick(w);
        if (cycle % 3 == 0) w->SendRButtonDown(10, 10);
        if (cycle % 3 == 1) g_pGateShow->CloseShow();
        if (cycle % 3 == 2) {
            delete g_pGateShow;  // as the launcher does when it ends
            g_bGateShowOpen = false;
        }
        EXPECT_TRUE(w->Destroyed()) << cycle;
        EXPECT_EQ(g_pGateShow, nullptr) << cycle;
    }
}

// What other programs hear of one cycle with clicks in zones 1, 0, 0, 1:
// every segment as it begins (Gate1Lp again when its first turn ends before
// the click), every accepted click and nothing for the ignored ones, the
// replayed endings, and the first gate again.
TEST_F(GateShow, TellsEverySegmentStartAndAcceptedClickOverOsc) {
    RecordingOsc osc;
    platform::SetOsc(&osc);
    FakeShowWindow* w = Open(StampedClip(160), false);
    ASSERT_NE(w, nullptr);
    const int zones[] = {1, 0, 0, 1};
    std::vector<std::string> expected = {"/zarn/gate/segment 0 Gate1St",
                                         "/zarn/gate/segment 1 Gate1Lp",
                                         "/zarn/gate/segment 1 Gate1Lp"};
    const char* kinds[] = {"St", "Lp", "E1", "E2"};
    auto segment = [&](int n) {
        return "/zarn/gate/segment " + std::to_string(n) + " Gate" + std::to_string(n / 4 + 1) +
               kinds[n % 4];
    };
    for (int g = 0; g < 4; ++g) {
        if (g > 0) {
            expected.push_back(segment(4 * g));
            expected.push_back(segment(4 * g + 1));
        }
        expected.push_back("/zarn/gate/choice " + std::to_string(g) + " " +
                           std::to_string(zones[g]));
        expected.push_back(segment(4 * g + 2 + zones[g]));
    }
    for (int g = 0; g < 4; ++g) expected.push_back(segment(4 * g + 2 + zones[g]));
    expected.push_back(segment(0));
    int gate = 0, loopTicks = 0;
    for (int k = 0; k < 1000 && osc.sent.size() < expected.size(); ++k) {
        Tick(w);
        loopTicks = g_pGateShow->AcceptClick() ? loopTicks + 1 : 0;
        // Gate1Lp is 6 frames: 8 ticks see it start over once.
        if (gate < 4 && loopTicks == (gate == 0 ? 8 : 1)) {
            const int z = zones[gate++];
            w->SendLButtonDown(ZONE_POINTS[z][0], ZONE_POINTS[z][1]);
            w->SendLButtonDown(ZONE_POINTS[1 - z][0], ZONE_POINTS[1 - z][1]);
        }
    }
    platform::SetOsc(nullptr);
    EXPECT_EQ(osc.SentTexts(), expected);
}

}  // namespace
