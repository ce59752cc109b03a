// Shows pulled from under their own start-up: what other programs send is
// handed to the user-interface thread, and a nested event loop inside a
// show's Create (the "Don't find codepack" box, anything that spins) runs
// it. A stop that arrives then must wait until Create has returned.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <string>

#include "app/OscRemote.h"
#include "app/ShowOwner.h"
#include "detect/ShowWaveDlg.h"
#include "gateshow/ShowDlg.h"
#include "platform/MessageBox.h"
#include "platform/qt/QtUiCalls.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/support/OscLoopback.h"

namespace {

// Runs a nested event loop for a moment, as a modal box or dialog does:
// calls posted from other threads run inside it.
void SpinPostedCalls() {
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
}

class SpinningMessageBox final : public IMessageBox {
public:
    void Show(const char* text) override {
        texts.emplace_back(text ? text : "");
        SpinPostedCalls();
    }
    std::vector<std::string> texts;
};

// A launcher whose clip path is read while the window initialises: spinning
// there stands for any nested loop of a start-up that goes on to succeed.
struct SpinningLauncher final : IDetectLauncher {
    TestLauncher values;
    int GetCaptureDriver() const override { return values.GetCaptureDriver(); }
    int GetUseCamera() const override { return values.GetUseCamera(); }
    int GetWaveCount() const override { return values.GetWaveCount(); }
    std::string GetWaveName(int n) const override { return values.GetWaveName(n); }
    std::string GetWaveFolder() const override { return values.GetWaveFolder(); }
    std::string GetAviPath() const override {
        SpinPostedCalls();
        return values.GetAviPath();
    }
};

class ShowOwnerStart : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        uiCalls = std::make_unique<QtUiCalls>();
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&video);
        platform::SetWaveOut(&waveOut);
        platform::SetMessageBox(&box);
        platform::SetOsc(&osc);
        remote = std::make_unique<COscRemote>();
        playable = AddFakeClip(video, "clip.avi", 64, 48, 25, 1, 100);
        WriteTestWaves(playable, TestDataPath("show-owner-"), 3);
        // A clip whose video no decoder knows brings the box up.
        FakeVideoClip unknown;
        unknown.info = VideoFileInfo{0, 64, 48, 25, 1};
        unknown.streams.push_back(FakeVideoStream{streamtypeVIDEO, 100, 64, 48, false, {}});
        video.AddClip("unknown.avi", unknown);
        video.AddClip(GateClipPath(), unknown);
    }
    void TearDown() override {
        ShowOwner().EndShows();
        remote.reset();
        platform::SetOsc(nullptr);
        platform::SetMessageBox(nullptr);
        platform::SetWaveOut(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetShowWindows(nullptr);
    }

    // What another program sends, handed over as the receiving thread does.
    void PostFromOutside(const char* pszPath, int nArg = -1) {
        OscMessage msg(pszPath);
        if (nArg >= 0) msg.Int(nArg);
        uiCalls->Post([this, msg] { nDelivered += osc.Deliver(msg); });
    }

    FakeShowWindows windows;
    FakeVideoFiles video;
    SimulatedWaveOut waveOut;
    SpinningMessageBox box;
    RecordingOsc osc;
    std::unique_ptr<QtUiCalls> uiCalls;
    std::unique_ptr<COscRemote> remote;
    int nDelivered = 0;
    TestLauncher playable;
};

TEST_F(ShowOwnerStart, StopDuringTheCodepackBoxLeavesNothingOpenAndNothingFreedTwice) {
    TestLauncher launcher = playable;
    launcher.strAviPath = "unknown.avi";
    PostFromOutside("/zarn/stop");

    testing::internal::CaptureStderr();
    ShowOwner().OpenDetectShow(launcher);
    PostFromOutside("/zarn/stop");
    ShowOwner().OpenGateShow();
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(box.texts, (std::vector<std::string>{"Don't find codepack", "Don't find codepack"}));
    EXPECT_EQ(nDelivered, 2);
    ASSERT_EQ(windows.Count(), 2u);
    EXPECT_TRUE(windows.Last()->Destroyed());
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(g_pGateShow, nullptr);
    EXPECT_FALSE(g_bDetectShowOpen || g_bGateShowOpen);
    EXPECT_EQ(CountLinesWith(err, "cannot play clip \"unknown.avi\""), 1) << err;
}

// The start-up goes on to succeed: the stop closes the window once Create
// has returned, a sound asked for meanwhile is refused rather than played
// on a bank still being filled, and an open gate show closes at once.
TEST_F(ShowOwnerStart, StopDuringASuccessfulStartClosesTheWindowAfterCreate) {
    g_bGateShowOpen = true;
    g_pGateShow = new CShowDlg("clip.avi", false);
    ASSERT_TRUE(g_pGateShow->Create());
    FakeShowWindow* gate = windows.Last();

    SpinningLauncher launcher;
    launcher.values = playable;
    PostFromOutside("/zarn/play", 1);
    PostFromOutside("/zarn/stop");
    testing::internal::CaptureStderr();
    ShowOwner().OpenDetectShow(launcher);
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(nDelivered, 2);
    EXPECT_TRUE(gate->Destroyed());
    ASSERT_EQ(windows.Count(), 2u);
    FakeShowWindow* detection = windows.Last();
    EXPECT_TRUE(detection->Destroyed());
    EXPECT_FALSE(detection->HasTimer(TIMER_FRAME));
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_FALSE(g_bDetectShowOpen || g_bGateShowOpen);
    EXPECT_EQ(waveOut.StreamCount(), 0u);
    EXPECT_EQ(CountLinesWith(err, "/zarn/play 1: the detection window is still starting"), 1)
        << err;

    // Nothing of that start lingers: the next one runs.
    ShowOwner().OpenDetectShow(playable);
    ASSERT_NE(g_pDetectShow, nullptr);
    EXPECT_TRUE(windows.Last()->HasTimer(TIMER_FRAME));
}

}  // namespace
