// Sound triggers and the stop from other programs: /zarn/play sent on
// loopback reaches the open detection window's sound bank through the Qt
// event loop, mistakes cost one line each however often they come, and
// /zarn/stop closes every open show.

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <string>

#include "app/OscRemote.h"
#include "detect/ShowWaveDlg.h"
#include "gateshow/ShowDlg.h"
#include "platform/osc/LibloOsc.h"
#include "platform/qt/QtUiCalls.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/RecordingOsc.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/support/OscLoopback.h"

namespace {

class OscRemote : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&fakeVideo);
        platform::SetWaveOut(&waveOut);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
        g_bGateShowOpen = false;
        g_pGateShow = nullptr;
        launcher = AddFakeClip(fakeVideo, "clip.avi", 64, 48, 25, 1, 100);
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        if (g_pGateShow) g_pGateShow->CloseShow();
        pRemote.reset();
        platform::SetOsc(nullptr);
        pOsc.reset();
        pUiCalls.reset();
        platform::SetWaveOut(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetShowWindows(nullptr);
    }

    void OpenDetection() {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        ASSERT_TRUE(g_pDetectShow->Create());
    }

    // Installs the service and listens to it.
    template <class T>
    T& Listen(std::unique_ptr<T> pService) {
        T& service = *pService;
        pOsc = std::move(pService);
        platform::SetOsc(pOsc.get());
        pRemote = std::make_unique<COscRemote>();
        return service;
    }

    FakeShowWindows windows;
    FakeVideoFiles fakeVideo;
    SimulatedWaveOut waveOut;
    TestLauncher launcher;
    // The windows end before these, and the service before its hand-over.
    std::unique_ptr<QtUiCalls> pUiCalls;
    std::unique_ptr<IOsc> pOsc;
    std::unique_ptr<COscRemote> pRemote;
};

// Each mistake three times over: one line for each kind.
TEST_F(OscRemote, PlaySentOnLoopbackOpensTheClipsStreamAndMistakesCostOneLineEach) {
    WriteTestWaves(launcher, TestDataPath("osc-remote-"), 5);
    LibloOsc::Config config;
    config.strInPort = "0";
    pUiCalls = std::make_unique<QtUiCalls>();
    LibloOsc& osc = Listen(std::make_unique<LibloOsc>(config, pUiCalls->Poster()));
    OpenDetection();

    testing::internal::CaptureStderr();
    lo_address to = lo_address_new("127.0.0.1", std::to_string(osc.ReceivePort()).c_str());
    lo_send(to, "/zarn/play", "i", 3);
    for (int n = 0; n < 3; ++n) {
        lo_send(to, "/zarn/play", "i", 99);
        lo_send(to, "/zarn/play", "s", "3");
        lo_send(to, "/zarn/volume", "f", 0.5f);
    }
    lo_address_free(to);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((osc.Stats().nReceived < 10 || waveOut.StreamCount() < 1) &&
           std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    const std::string err = testing::internal::GetCapturedStderr();

    ASSERT_EQ(waveOut.StreamCount(), 1u);
    EXPECT_EQ(waveOut.Stream(0).wfx.nSamplesPerSec, TestWaveRate(3));
    EXPECT_EQ(CountLinesWith(err, "/zarn/play 99"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "arguments \"s\""), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "/zarn/volume"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "osc:"), 3) << err;
}

// Without a detection window /zarn/play has nowhere to go; /zarn/stop
// closes both shows as right clicks would, and takes no arguments.
TEST_F(OscRemote, StopClosesEveryOpenShowAndPlayNeedsADetectionWindow) {
    RecordingOsc& osc = Listen(std::make_unique<RecordingOsc>());
    EXPECT_EQ(osc.Listener(), pRemote.get());
    OscMessage play("/zarn/play");
    play.Int(3);
    OscMessage stop("/zarn/stop");
    OscMessage stopWhat("/zarn/stop");
    stopWhat.String("now");

    testing::internal::CaptureStderr();
    osc.Deliver(play);
    osc.Deliver(stop);
    OpenDetection();
    FakeShowWindow* detection = windows.Last();
    g_bGateShowOpen = true;
    g_pGateShow = new CShowDlg("clip.avi", false);
    ASSERT_TRUE(g_pGateShow->Create());
    FakeShowWindow* gate = windows.Last();
    osc.Deliver(stopWhat);
    EXPECT_FALSE(detection->Destroyed() || gate->Destroyed());
    osc.Deliver(stop);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(detection->Destroyed() && gate->Destroyed());
    EXPECT_FALSE(detection->HasTimer(TIMER_FRAME));
    pRemote.reset();
    EXPECT_EQ(osc.Listener(), nullptr);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(g_pGateShow, nullptr);
    EXPECT_FALSE(g_bDetectShowOpen || g_bGateShowOpen);
    EXPECT_EQ(CountLinesWith(err, "no detection window is open"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "no show is open"), 1) << err;
    EXPECT_EQ(CountLinesWith(err, "it takes none"), 1) << err;
}

}  // namespace
