// The gate show on a recording host: timing and placement, the zones, one
// whole cycle with the clicks it must ignore, closing in every state, short
// and unplayable clips, and release of closed shows.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateshow/ShowDlg.h"
#include "platform/MessageBox.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingMessageBox.h"
#include "tests/gateshow/GateTestSupport.h"
#include "tests/support/ClipWriter.h"
#include "tests/support/FrameStamp.h"

namespace {

constexpr uintptr_t TIMERS[] = {TIMER_START, TIMER_LOOP, TIMER_ENDING, TIMER_REPLAY};

class GateShow : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&ffmpeg);
        platform::SetMessageBox(&messages);
        g_bGateShowOpen = false;
        g_pGateShow = nullptr;
    }
    void TearDown() override {
        if (g_pGateShow) g_pGateShow->CloseShow();
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetMessageBox(nullptr);
    }

    // Opens the show as the launcher does; null when it closed at once.
    FakeShowWindow* Open(const std::string& path, bool bPreload = true) {
        g_bGateShowOpen = true;
        g_pGateShow = new CShowDlg(path, bPreload);
        return g_pGateShow->Create() ? windows.Last() : nullptr;
    }

    void AddFakeClip(const std::string& path, uint32_t rate, uint32_t scale, int w, int h) {
        FakeVideoClip clip;
        clip.info = VideoFileInfo{0, uint32_t(w), uint32_t(h), rate, scale};
        clip.streams.push_back(FakeVideoStream{streamtypeVIDEO, 5000, w, h, true, {}});
        fakeVideo.AddClip(path, clip);
    }

    // The one timer that runs; -1 for none or more than one.
    static int Running(const FakeShowWindow* w) {
        int id = -1;
        for (uintptr_t t : TIMERS)
            if (w->HasTimer(t)) id = id < 0 ? static_cast<int>(t) : -2;
        return id < 0 ? -1 : id;
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

    // Ticks, clicking zone 0 on each loop's first tick, until `timer` runs.
    static void DriveTo(FakeShowWindow* w, int timer) {
        for (int k = 0; k < 1000 && Running(w) != timer; ++k) {
            Tick(w);
            if (Running(w) == TIMER_LOOP && g_pGateShow->AcceptClick())
                w->SendLButtonDown(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
        }
        ASSERT_EQ(Running(w), timer);
    }

    FakeShowWindows windows;
    FfmpegVideoFiles ffmpeg;
    FakeVideoFiles fakeVideo;
    RecordingMessageBox messages;
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
    AddFakeClip("clip.avi", c.rate, c.scale, c.width, c.height);
    FakeShowWindow* w = Open("clip.avi", false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->TimerPeriod(TIMER_START), c.period);
    EXPECT_EQ(Running(w), static_cast<int>(TIMER_START));
    EXPECT_EQ(g_pGateShow->PicLeft(), c.left);
    EXPECT_EQ(g_pGateShow->PicTop(), c.top);
    const WindowRect rect = w->GetNormalRect();
    EXPECT_EQ(rect.right - rect.left, 1024);
    EXPECT_EQ(rect.bottom - rect.top, 768);
}

INSTANTIATE_TEST_SUITE_P(Clips, GateShowPlacement,
                         ::testing::Values(PlacementCase{25, 1, 640, 480, 40, 192, 144},
                                           PlacementCase{30000, 1001, 1024, 768, 34, 0, 0},
                                           PlacementCase{30, 1, 720, 480, 33, 152, 144},
                                           PlacementCase{15, 1, 1280, 720, 66, -128, 24},
                                           PlacementCase{1000, 1, 1281, 769, 1, -128, 0}));

TEST_F(GateShow, ZonesHitOnlyStrictlyInside) {
    platform::SetVideoFiles(&fakeVideo);
    AddFakeClip("clip.avi", 25, 1, 64, 48);
    ASSERT_NE(Open("clip.avi", false), nullptr);
    const struct {
        int x, y, zone;
    } points[] = {{460, 100, -1}, {461, 100, 0}, {700, 100, -1}, {699, 339, 0},  {730, 200, -1},
                  {999, 339, 1},  {800, 60, -1}, {800, 61, 1},   {800, 340, -1}, {1000, 200, -1}};
    for (const auto& p : points)
        EXPECT_EQ(g_pGateShow->HitTestZones(p.x, p.y), p.zone) << p.x << ", " << p.y;
}

// The segment table built from the build's own clip at 25 frames per second.
TEST_F(GateShow, TheBuildsClipFillsTheScreenAndHoldsAllSixteenSegments) {
    ASSERT_NE(Open(ZARN_GATE_CLIP), nullptr);
    EXPECT_EQ(g_pGateShow->FramePeriod(), 40u);
    EXPECT_EQ(g_pGateShow->PicLeft(), 0);
    EXPECT_EQ(g_pGateShow->PicTop(), 0);
    const CAviControl& avi = g_pGateShow->Avi();
    EXPECT_GE(avi.StreamLength(), 4000u);
    const char* kinds[] = {"St", "Lp", "E1", "E2"};
    const uint32_t first[] = {0, 350, 500, 750}, last[] = {349, 499, 749, 999};
    for (int g = 0; g < 4; ++g) {
        for (int k = 0; k < 4; ++k) {
            const ClipSegment& s = avi.Segment(4 * g + k);
            EXPECT_EQ(std::string(s.szName), "Gate" + std::to_string(g + 1) + kinds[k]);
            EXPECT_EQ(s.dwFirstFrame, 1000 * g + first[k]) << s.szName;
            EXPECT_EQ(s.dwLastFrame, 1000 * g + last[k]) << s.szName;
        }
    }
}

// Clicks in zones 1, 0, 0, 1 on the fourth tick of each loop. Clicks outside
// the zones, before a loop's first tick, right after an accepted click and
// in every other state change nothing. The second cycle resumes Gate1Lp
// where the click left it and then loops it from its first frame.
class GateShowCycle : public GateShow, public ::testing::WithParamInterface<bool> {};

TEST_P(GateShowCycle, PlaysTheChosenEndingsReplaysThemAndResumesTheLoop) {
    FakeShowWindow* w = Open(StampedClip(160), GetParam());
    ASSERT_NE(w, nullptr);
    const int zones[] = {1, 0, 0, 1};
    std::vector<int> expected;
    for (int g = 0; g < 4; ++g) {
        AppendPlay(expected, GateSegment(g, 0).first, GateSegment(g, 0).last, 160);
        AppendPlay(expected, GateSegment(g, 1).first, GateSegment(g, 1).first + 3, 160, false);
        AppendPlay(expected, GateSegment(g, 2 + zones[g]).first, GateSegment(g, 2 + zones[g]).last,
                   160);
    }
    for (int g = 0; g < 4; ++g)
        AppendPlay(expected, GateSegment(g, 2 + zones[g]).first, GateSegment(g, 2 + zones[g]).last,
                   160);
    AppendPlay(expected, 0, 13, 160);
    AppendPlay(expected, 18, 19, 160);
    AppendPlay(expected, 14, 15, 160, false);

    std::vector<int> drawn;
    int gate = 0;
    int loopTicks = 0;
    while (drawn.size() < expected.size()) {
        const int id = Running(w);
        loopTicks = id == TIMER_LOOP ? loopTicks : 0;
        if (id != TIMER_LOOP || loopTicks == 0) {
            w->SendLButtonDown(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
        } else if (loopTicks == 4 && gate < 4) {
            w->SendLButtonDown(GAP_POINT[0], GAP_POINT[1]);
            w->SendLButtonDown(ZONE_POINTS[zones[gate]][0], ZONE_POINTS[zones[gate]][1]);
            w->SendLButtonDown(ZONE_POINTS[1 - zones[gate]][0], ZONE_POINTS[1 - zones[gate]][1]);
            ++gate;
        }
        if (Running(w) == TIMER_REPLAY && g_pGateShow->QueuePos() == 0) {
            const int32_t* queue = g_pGateShow->ChoiceQueue();
            EXPECT_EQ(std::vector<int>(queue, queue + 4), (std::vector<int>{3, 6, 10, 15}));
        }
        drawn.push_back(Tick(w));
        if (id == TIMER_LOOP) ++loopTicks;
    }
    EXPECT_EQ(drawn, expected);
    EXPECT_EQ(gate, 4);
    EXPECT_EQ(g_pGateShow->QueuePos(), 0);
}

INSTANTIATE_TEST_SUITE_P(Preload, GateShowCycle, ::testing::Bool());

// Later segments of a clip shorter than the table shrink to its end frame,
// which cannot be drawn; each then takes two silent ticks, and the cycle
// still comes round.
TEST_F(GateShow, ShortClipPlaysItsClampedSegmentsAsSilentTicks) {
    const int length = 50;
    FakeShowWindow* w = Open(StampedClip(length));
    ASSERT_NE(w, nullptr);
    std::vector<int> expected;
    for (int g = 0; g < 4; ++g) {
        AppendPlay(expected, GateSegment(g, 0, length).first, GateSegment(g, 0, length).last,
                   length);
        const int loop = GateSegment(g, 1, length).first;
        AppendPlay(expected, loop, loop, length, false);
        AppendPlay(expected, GateSegment(g, 2, length).first, GateSegment(g, 2, length).last,
                   length);
    }
    for (int g = 0; g < 4; ++g)
        AppendPlay(expected, GateSegment(g, 2, length).first, GateSegment(g, 2, length).last,
                   length);
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
    DriveTo(w, static_cast<int>(GetParam()));
    Tick(w);
    w->SendRButtonDown(600, 200);
    EXPECT_TRUE(w->Destroyed());
    EXPECT_EQ(Running(w), -1);
    EXPECT_FALSE(g_bGateShowOpen);
    EXPECT_EQ(g_pGateShow, nullptr);
}

INSTANTIATE_TEST_SUITE_P(States, GateShowRightClick, ::testing::ValuesIn(TIMERS));

TEST_F(GateShow, UnplayableClipsCloseAtOnceWithOneLine) {
    AddFakeClip("slow.avi", 1, 2, 64, 48);  // 0.5 frames per second
    AddFakeClip("fast.avi", 1001, 1, 64, 48);
    ClipOptions audio;
    audio.audioOnly = true;
    const std::string audioOnly = TestDataPath("gate-audio-only.avi");
    std::string error;
    ASSERT_TRUE(WriteClip(
        audioOnly, audio, [](int, uint8_t*, int, int) {}, &error))
        << error;

    const struct {
        std::string path;
        IVideoFiles* files;
        size_t messages;
    } cases[] = {{TestDataPath("gate-no-such-clip.avi"), &ffmpeg, 0},
                 {audioOnly, &ffmpeg, 1},
                 {"slow.avi", &fakeVideo, 0},
                 {"fast.avi", &fakeVideo, 0}};
    for (const auto& c : cases) {
        platform::SetVideoFiles(c.files);
        messages.texts.clear();
        testing::internal::CaptureStderr();
        EXPECT_EQ(Open(c.path), nullptr) << c.path;
        const std::string err = testing::internal::GetCapturedStderr();
        // The decoding library may log on its own; ours is the one line.
        const size_t at = err.find("gate show: ");
        EXPECT_NE(at, std::string::npos) << c.path << ": " << err;
        EXPECT_EQ(err.find("gate show: ", at + 1), std::string::npos) << c.path << ": " << err;
        EXPECT_FALSE(g_bGateShowOpen) << c.path;
        EXPECT_EQ(g_pGateShow, nullptr) << c.path;
        EXPECT_TRUE(windows.Last()->Destroyed()) << c.path;
        EXPECT_EQ(messages.texts, std::vector<std::string>(c.messages, "Don't find codepack"));
    }
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);
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
        switch (cycle % 3) {
            case 0:
                w->SendRButtonDown(10, 10);
                break;
            case 1:
                g_pGateShow->CloseShow();
                break;
            default:
                delete g_pGateShow;  // as the launcher does when it ends
                g_bGateShowOpen = false;
                break;
        }
        EXPECT_TRUE(w->Destroyed()) << cycle;
        EXPECT_FALSE(g_bGateShowOpen) << cycle;
        EXPECT_EQ(g_pGateShow, nullptr) << cycle;
    }
}

}  // namespace
