// The detection window's OSC messages, sent through the liblo backend to a
// receiver on 127.0.0.1: the show's start, one ranking message per ranking
// with the cells the window ranked, and one end, whether the clip runs out
// or the window closes first.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/osc/LibloOsc.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/support/OscLoopback.h"

namespace {

// 224 x 120 at 25 frames per second, 70 frames: rankings at ticks 22, 43
// and 64, each on a picture whose rows have turned one step further.
// One clip per case: the cases run as processes of their own, at once.
std::string TurningCellClip(const std::string& strCase) {
    const std::string path = [&] {
        ClipOptions o;
        o.width = 224;
        o.height = 120;
        o.frames = 70;
        const std::string p = TestDataPath("detect-osc-turning-" + strCase + ".avi");
        std::string error;
        EXPECT_TRUE(WriteClip(
            p, o,
            [](int f, uint8_t* rgb, int w, int h) {
                PaintCells(rgb, w, h, [f](int row, int col) {
                    return PermutedLevel((row + f / 21) % 3, col);
                });
            },
            &error))
            << error;
        return p;
    }();
    return path;
}

class DetectOsc : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&ffmpeg);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        platform::SetOsc(nullptr);
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
    }

    FakeShowWindows windows;
    FfmpegVideoFiles ffmpeg;
};

TEST_P(DetectOsc, StartOneRankPerRankingAndOneEnd) {
    const bool bCloseEarly = GetParam();
    PostedCalls ui;
    KeptMessages kept;
    LibloOsc::Config listen;
    listen.strInPort = "0";
    LibloOsc in(listen, ui.Poster());
    in.SetListener(&kept);

    TestLauncher launcher;
    launcher.strAviPath = TurningCellClip(bCloseEarly ? "closed" : "run-out");
    std::vector<std::string> expected = {"/zarn/show/start " + launcher.strAviPath + " 224 120 25"};
    {
        LibloOsc::Config send;
        send.strOutHost = "127.0.0.1";
        send.strOutPort = std::to_string(in.ReceivePort());
        LibloOsc out(send, nullptr);
        platform::SetOsc(&out);

        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        ASSERT_TRUE(g_pDetectShow->Create());
        FakeShowWindow* w = windows.Last();
        for (int k = 1; w->HasTimer(TIMER_FRAME) && k <= (bCloseEarly ? 50 : 100); ++k) {
            const int before = w->TimerStarts(TIMER_PLAY);
            w->SendTimer(TIMER_FRAME);
            if (w->TimerStarts(TIMER_PLAY) == before) continue;
            // The ranked frame is the one the next tick draws: frame k.
            OscMessage rank("/zarn/rank");
            rank.Int(k).Int(k);
            for (int i = 0; i < 3; ++i) {
                const CellScore& c = g_pDetectShow->ChosenCells()[i];
                rank.Int(c.nRow * 7 + c.nCol).Float(static_cast<float>(c.dMean));
            }
            expected.push_back(RecordingOsc::Text(rank));
            w->SendTimer(TIMER_PLAY);
        }
        EXPECT_EQ(w->HasTimer(TIMER_FRAME), bCloseEarly);
        // Closing after the clip's end says nothing more.
        w->SendRButtonDown(5, 5);
        expected.push_back("/zarn/show/end");
        platform::SetOsc(nullptr);
    }
    ASSERT_TRUE(ui.RunUntil([&] { return kept.messages.size() >= expected.size(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ui.RunWaiting();
    std::vector<std::string> got;
    for (const OscMessage& msg : kept.messages) got.push_back(RecordingOsc::Text(msg));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), bCloseEarly ? 4u : 5u);
}

INSTANTIATE_TEST_SUITE_P(Ending, DetectOsc, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Closed" : "RunOut"; });

}  // namespace
