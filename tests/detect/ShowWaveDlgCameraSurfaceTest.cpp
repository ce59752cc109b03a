// Camera mode on the Qt host with the V4L2 backend and a scripted camera:
// what the preview, or detection's own picture, puts on the screen, and what
// a closed window leaves.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>

#include "detect/DetectLauncher.h"
#include "detect/ShowWaveDlg.h"
#include "platform/qt/QtFrameView.h"
#include "platform/v4l2/V4l2Capture.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/ScriptedV4l2Device.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/support/qt/QtProbedShowWindows.h"

namespace {

constexpr int W = 800;  // wider than the preview area, so it is cut
constexpr int H = 100;

// Blue, green and red of top-down pixel (x, y).
std::vector<uint8_t> Frame() {
    std::vector<uint8_t> frame(size_t{W} * 3 * H);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            uint8_t* p = &frame[(size_t{W} * y + x) * 3];
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y * 2);
            p[2] = static_cast<uint8_t>(x ^ y);
        }
    }
    return frame;
}

class DetectCameraSurface : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        ScriptedCamera camera;
        camera.sizes = {{W, H}};
        camera.nRowPadding = 4;
        device.AddCamera(0, camera);
        platform::SetShowWindows(&windows);
        platform::SetCapture(&capture);
        platform::SetWaveOut(&waveOut);
        launcher.bUseCamera = 1;
        launcher.nCaptureDriver = 0;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::SetShowWindows(nullptr);
        platform::SetCapture(nullptr);
        platform::SetWaveOut(nullptr);
    }

    ScriptedV4l2Device device;
    V4l2Capture capture{device};
    QtProbedShowWindows windows;
    SimulatedWaveOut waveOut;
    TestLauncher launcher;
};

TEST_F(DetectCameraSurface, FramesShowUnscaledInThePreviewAreaAndAClickStillCloses) {
    g_bDetectShowOpen = true;
    g_pDetectShow = new CShowWaveDlg(&launcher);
    ASSERT_TRUE(g_pDetectShow->Create());
    QtWindowProbe* probe = windows.Last();
    const QPointer<QWidget> w = probe->Widget();
    w->show();
    auto* pView = w->findChild<QtFrameView*>();
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->geometry(), QRect(0, 0, 720, 480));
    // Clicks on the preview belong to the window.
    EXPECT_EQ(w->childAt(5, 5), nullptr);

    const std::vector<uint8_t> frame = Frame();
    ASSERT_TRUE(device.Deliver(0, frame));
    QElapsedTimer clock;
    clock.start();
    // Pixel (1, 1) of the frame is not black.
    while (pView->grab().toImage().pixel(1, 1) == qRgb(0, 0, 0) && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const QImage shown = w->grab().toImage();
    for (int y = 0; y < 768; y += 3) {
        for (int x = 0; x < 1024; x += 3) {
            QRgb expected = qRgb(0, 0, 0);
            if (x < 720 && y < H) {
                const uint8_t* p = &frame[(size_t{W} * y + x) * 3];
                expected = qRgb(p[2], p[1], p[0]);
            }
            ASSERT_EQ(shown.pixel(x, y), expected) << x << "," << y;
        }
    }

    probe->SendPress(Qt::RightButton, 5, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
    EXPECT_EQ(device.OpenDescriptors(), 0);
    EXPECT_EQ(device.Mappings(), 0);
}

// With detection on the window paints the red channel itself, as grey, cut
// to the preview area as the preview is; the camera's own view stays hidden.
TEST_F(DetectCameraSurface, DetectionPaintsTheRedChannelCutToThePreviewArea) {
    constexpr int TALL = 600;  // taller than the preview area too
    ScriptedCamera camera;
    camera.sizes = {{W, TALL}};
    device.AddCamera(0, camera);
    launcher.nCameraDetect = CAMERA_DETECT_LEVEL;
    g_bDetectShowOpen = true;
    g_pDetectShow = new CShowWaveDlg(&launcher);
    ASSERT_TRUE(g_pDetectShow->Create());
    QtWindowProbe* probe = windows.Last();
    const QPointer<QWidget> w = probe->Widget();
    w->show();
    auto* pView = w->findChild<QtFrameView*>();
    ASSERT_NE(pView, nullptr);
    EXPECT_FALSE(pView->isVisible());

    std::vector<uint8_t> frame(size_t{W} * 3 * TALL);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i % 3 == 2 ? i / 2400 : 255);
    ASSERT_TRUE(device.Deliver(0, frame));
    QElapsedTimer clock;
    clock.start();
    while (g_pDetectShow->CameraFrames() == 0 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(probe->SendTimer(TIMER_FRAME));
    const QImage shown = w->grab().toImage();
    for (int y = 0; y < 768; y += 3) {
        for (int x = 0; x < 1024; x += 3) {
            QRgb expected = qRgb(0, 0, 0);
            if (x < 720 && y < 480) {
                const int red = frame[(size_t{W} * y + x) * 3 + 2];
                expected = qRgb(red, red, red);
            }
            ASSERT_EQ(shown.pixel(x, y), expected) << x << "," << y;
        }
    }
    probe->SendPress(Qt::RightButton, 5, 5);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
}

struct BareHandler final : IShowWindowHandler {
    void OnAttach(IShowWindow*) override {}
    int OnInitDialog() override { return 1; }
    void OnTimer(uintptr_t) override {}
};

// A window whose program side never closes its capture window.
TEST_F(DetectCameraSurface, ACaptureWindowEndsWithItsShowWindow) {
    BareHandler handler;
    IShowWindow* pWnd = windows.Create(handler);
    ASSERT_NE(pWnd, nullptr);
    const HCAPWND h = capture.CreateCaptureWindow("Capture Window", WS_CHILD | WS_VISIBLE, 0, 0,
                                                  720, 480, pWnd, 0);
    ASSERT_TRUE(capture.DriverConnect(h, 0));
    ASSERT_TRUE(capture.SetPreview(h, 1));
    ASSERT_TRUE(device.Deliver(0, Frame()));
    pWnd->Destroy();
    EXPECT_FALSE(capture.IsWindow(h));
    EXPECT_EQ(device.OpenDescriptors(), 0);
    EXPECT_EQ(device.Mappings(), 0);
}

}  // namespace
