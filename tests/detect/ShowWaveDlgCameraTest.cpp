// The detection window in camera mode on a scripted capture service, and the
// launcher's list of capture drivers.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detect/CaptureDriverList.h"
#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeListControl.h"
#include "tests/fakes/FakeShowWindows.h"
#include "tests/fakes/SimulatedWaveOut.h"

namespace {

// The launcher's values in camera mode; counts the wave names read, which
// the window reads only once it loads its sounds.
struct CameraLauncher final : IDetectLauncher {
    int nCaptureDriver = 0;
    mutable int nNamesRead = 0;

    int GetCaptureDriver() const override { return nCaptureDriver; }
    int GetUseCamera() const override { return 1; }
    int GetWaveCount() const override { return 3; }
    std::string GetWaveName(int n) const override {
        ++nNamesRead;
        return "missing" + std::to_string(n);
    }
    std::string GetWaveFolder() const override { return "/nonexistent/"; }
    std::string GetAviPath() const override { return ""; }
};

const std::vector<std::string> START_UP = {
    "CreateCaptureWindow Capture Window 50000000 0 0 720 480 0",
    "IsWindow",
    "DriverConnect 2",
    "IsWindow",
    "SetScale 0",
    "IsWindow",
    "SetPreviewRate 30",
    "IsWindow",
    "GetVideoFormat 44",
    "IsWindow",
    "SetVideoFormat 44 0",
    "IsWindow",
    "SetCallbackOnFrame",
    "IsWindow",
    "SetPreview 1"};

std::vector<std::string> StartUpTo(size_t nCalls, bool bDestroy) {
    std::vector<std::string> calls(START_UP.begin(), START_UP.begin() + nCalls);
    if (bDestroy) calls.push_back("DestroyWindow");
    return calls;
}

class DetectCamera : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetShowWindows(&windows);
        platform::SetCapture(&capture);
        platform::SetWaveOut(&waveOut);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
        capture.drivers[2] = FakeCaptureDriver{"Camera two", "1.0", true, true, 352, 288};
        launcher.nCaptureDriver = 2;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        platform::SetShowWindows(nullptr);
        platform::SetCapture(nullptr);
        platform::SetWaveOut(nullptr);
    }

    FakeShowWindow* Open() {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    FakeShowWindows windows;
    FakeCapture capture;
    SimulatedWaveOut waveOut;
    CameraLauncher launcher;
};

// Detection stays off unless the launcher asks for it: frames are counted,
// and nothing is ranked, drawn or timed.
TEST_F(DetectCamera, StartsThePreviewInOrderAndClosesItWithTheWindow) {
    FakeShowWindow* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(capture.calls, START_UP);
    EXPECT_EQ(capture.pLastParent, w);
    EXPECT_EQ(launcher.nNamesRead, 3);
    // Sized from the camera's 352 x 288; no frame timer without a frame rate.
    EXPECT_EQ(g_pDetectShow->CellWidth(), 48);
    EXPECT_EQ(g_pDetectShow->CellHeight(), 96);
    EXPECT_EQ(g_pDetectShow->PicLeft(), 336);
    EXPECT_EQ(w->TimerStarts(TIMER_FRAME), 0);
    EXPECT_EQ(g_pCaptureTarget.load(), g_pDetectShow);

    EXPECT_TRUE(capture.EmitFrame(capture.LastWindow()));
    EXPECT_TRUE(capture.EmitFrame(capture.LastWindow()));
    EXPECT_EQ(g_pDetectShow->CameraFrames(), 2u);
    w->SendTimer(TIMER_FRAME);
    EXPECT_TRUE(w->recorder.calls.empty());

    w->SendRButtonDown(10, 10);
    EXPECT_EQ(capture.calls.back(), "DestroyWindow");
    EXPECT_EQ(capture.LiveWindows(), 0u);
    EXPECT_EQ(g_pCaptureTarget.load(), nullptr);
    EXPECT_EQ(g_pDetectShow, nullptr);
}

struct GiveUpCase {
    const char* name;
    bool bCanCreate;
    int nDriver;
    bool bConnects;
    bool bAcceptsFormat;
    std::vector<std::string> calls;
};
void PrintTo(const GiveUpCase& c, std::ostream* os) { *os << c.name; }

class DetectCameraGivesUp : public DetectCamera,
                            public ::testing::WithParamInterface<GiveUpCase> {};

TEST_P(DetectCameraGivesUp, BothWindowsGoBeforeAnythingIsLoadedWithOneLine) {
    const GiveUpCase& c = GetParam();
    capture.bCanCreate = c.bCanCreate;
    capture.drivers[2].bConnects = c.bConnects;
    capture.drivers[2].bAcceptsFormat = c.bAcceptsFormat;
    launcher.nCaptureDriver = c.nDriver;

    testing::internal::CaptureStderr();
    EXPECT_EQ(Open(), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(err.rfind("detection window: ", 0), 0u) << err;

    EXPECT_EQ(capture.calls, c.calls);
    EXPECT_EQ(capture.LiveWindows(), 0u);
    EXPECT_TRUE(windows.Last()->Destroyed());
    EXPECT_EQ(windows.Last()->TimerStarts(TIMER_FRAME), 0);
    EXPECT_EQ(launcher.nNamesRead, 0);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(g_pCaptureTarget.load(), nullptr);
    // Left for the launcher to notice: the flag without a window.
    EXPECT_TRUE(g_bDetectShowOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DetectCameraGivesUp,
    ::testing::Values(GiveUpCase{"no_capture_window",
                                 false,
                                 2,
                                 true,
                                 true,
                                 {"CreateCaptureWindow Capture Window 50000000 0 0 720 480 0",
                                  "IsWindow"}},
                      GiveUpCase{"no_camera_selected", true, -1, true, true,
                                 std::vector<std::string>{START_UP[0], START_UP[1],
                                                          "DriverConnect -1", "DestroyWindow"}},
                      GiveUpCase{"refuses_connection", true, 2, false, true, StartUpTo(3, true)},
                      GiveUpCase{"refuses_format", true, 2, true, false, StartUpTo(11, true)}));

// A driver may call back without a header or without data, and a frame may
// still be on its way when the window closes: neither reaches a window (nor
// touches a freed one, which AddressSanitizer would see).
TEST_F(DetectCamera, FramesWithoutDataOrAfterTheCloseReachNoWindow) {
    FakeShowWindow* w = Open();
    ASSERT_NE(w, nullptr);
    const HCAPWND hCapture = capture.LastWindow();
    VIDEOHDR empty{};
    CaptureFrameCallback(hCapture, nullptr);
    CaptureFrameCallback(hCapture, &empty);
    EXPECT_EQ(g_pDetectShow->CameraFrames(), 0u);

    w->SendRButtonDown(10, 10);
    ASSERT_EQ(g_pDetectShow, nullptr);
    uint8_t pixel[3] = {};
    VIDEOHDR late{};
    late.lpData = pixel;
    CaptureFrameCallback(hCapture, &late);
}

TEST_F(DetectCamera, DriverListHoldsEveryFoundNameSortedWithItsDriverAndSelectsTheFirst) {
    capture.drivers.clear();
    FakeListControl none;
    EXPECT_TRUE(FillCaptureDriverList(none).empty());
    EXPECT_EQ(none.GetCount(), 0);
    EXPECT_EQ(none.GetCurSel(), LB_ERR);

    capture.calls.clear();
    capture.drivers[0].strName = "Alpha camera";
    capture.drivers[3].strName = "zeta camera";
    capture.drivers[5].strName = "Mid camera";
    FakeListControl list;
    const std::vector<int> drivers = FillCaptureDriverList(list);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(0), "Alpha camera");
    EXPECT_EQ(list.GetText(1), "Mid camera");
    EXPECT_EQ(list.GetText(2), "zeta camera");
    EXPECT_EQ(drivers, (std::vector<int>{0, 5, 3}));
    EXPECT_EQ(list.GetCurSel(), 0);
    EXPECT_EQ(CaptureDriverAt(drivers, LB_ERR), -1);
    EXPECT_EQ(CaptureDriverAt(drivers, 3), -1);
    ASSERT_EQ(capture.calls.size(), 10u);
    EXPECT_EQ(capture.calls.back(), "GetDriverDescription 9");
}

}  // namespace
