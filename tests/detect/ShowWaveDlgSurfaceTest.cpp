// The detection window on the Qt host: what ends up on the screen's surface.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>

#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtShowWindows.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/SimulatedWaveOut.h"

namespace {

uint8_t PermutedLevel(int row, int col) {
    const int n = row * 7 + col;
    return static_cast<uint8_t>(((n * 8 + 5) % 21) * 10 + 20);
}

QRgb Grey(int level) { return qRgb(level, level, level); }

QRgb FromColorRef(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

class DetectSurface : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&fakeVideo);
        platform::SetWaveOut(&waveOut);
        g_bDetectShowOpen = false;
        g_pDetectShow = nullptr;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetWaveOut(nullptr);
    }

    QtShowWindow* Open(const TestLauncher& launcher) {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? static_cast<QtShowWindow*>(g_pDetectShow->GetWindow())
                                       : nullptr;
    }

    void AddFakeClip(const std::string& path, int w, int h) {
        FakeVideoClip clip;
        clip.info = VideoFileInfo{0, uint32_t(w), uint32_t(h), 25, 1};
        FakeVideoStream stream;
        stream.dwLength = 10;
        stream.nWidth = w;
        stream.nHeight = h;
        clip.streams.push_back(stream);
        fakeVideo.AddClip(path, clip);
    }

    QtShowWindows windows;
    FakeVideoFiles fakeVideo;
    FfmpegVideoFiles ffmpeg;
    SimulatedWaveOut waveOut;
};

TEST_F(DetectSurface, OutlinesInTheirColoursUntilThePictureCoversThem) {
    platform::SetVideoFiles(&ffmpeg);
    ClipOptions options;
    options.width = 224;  // cells of 32 x 40
    options.height = 120;
    options.frames = 30;
    TestLauncher launcher;
    launcher.strAviPath = WriteCellClip("detect-surface-cells.avi", options, PermutedLevel);
    QtShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->Surface().size(), QSize(1024, 768));

    for (int k = 0; k < 22; ++k) w->SendTimer(TIMER_FRAME);
    ASSERT_TRUE(w->HasTimer(TIMER_PLAY));

    const QImage& s = w->Surface();
    const int left = 400;
    const int top = 324;
    // An unchosen cell shows its red level as grey.
    EXPECT_EQ(s.pixel(left + 16, top + 20), Grey(PermutedLevel(0, 0)));
    const COLORREF colors[3] = {RGB(255, 200, 200), RGB(200, 255, 200), RGB(200, 200, 255)};
    const int cells[3] = {15, 19, 2};
    for (int i = 0; i < 3; ++i) {
        const int x = left + 32 * (cells[i] % 7);
        const int y = top + 40 * (cells[i] / 7);
        EXPECT_EQ(s.pixel(x, y + 20), FromColorRef(colors[i])) << "left edge " << i;
        EXPECT_EQ(s.pixel(x + 16, y), FromColorRef(colors[i])) << "top edge " << i;
        EXPECT_EQ(s.pixel(x + 32, y + 20), FromColorRef(colors[i])) << "right edge " << i;
        EXPECT_EQ(s.pixel(x + 16, y + 20), Grey(PermutedLevel(cells[i] / 7, cells[i] % 7)))
            << "inside " << i;
    }

    w->SendTimer(TIMER_FRAME);
    const int x = left + 32 * (15 % 7);
    const int y = top + 40 * (15 / 7);
    EXPECT_EQ(w->Surface().pixel(x, y + 20), Grey(PermutedLevel(2, 1)));
}

TEST_F(DetectSurface, OddWidthPictureIsShownExactly) {
    AddFakeClip("odd.avi", 321, 241);
    TestLauncher launcher;
    launcher.strAviPath = "odd.avi";
    QtShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    w->SendTimer(TIMER_FRAME);

    const QImage& s = w->Surface();
    const int left = 351;
    const int top = 263;
    for (int y = 0; y < 241; ++y)
        for (int x = 0; x < 321; ++x)
            ASSERT_EQ(s.pixel(left + x, top + y),
                      Grey(FakeVideoFiles::PixelByte(0, 1, x, 240 - y, 2)))
                << x << "," << y;
    EXPECT_EQ(s.pixel(left - 1, top), qRgb(0, 0, 0));
    EXPECT_EQ(s.pixel(left + 321, top + 240), qRgb(0, 0, 0));
    EXPECT_EQ(s.pixel(left, top - 1), qRgb(0, 0, 0));
    EXPECT_EQ(s.pixel(left + 320, top + 241), qRgb(0, 0, 0));
}

TEST_F(DetectSurface, LargerPictureIsCutAtTheWindowEdges) {
    AddFakeClip("large.avi", 1280, 960);
    TestLauncher launcher;
    launcher.strAviPath = "large.avi";
    QtShowWindow* w = Open(launcher);
    ASSERT_NE(w, nullptr);
    w->SendTimer(TIMER_FRAME);
    // Window (0, 0) shows picture (128, 96); the frame rows are bottom-up.
    const QImage& s = w->Surface();
    EXPECT_EQ(s.pixel(0, 0), Grey(FakeVideoFiles::PixelByte(0, 1, 128, 959 - 96, 2)));
    EXPECT_EQ(s.pixel(1023, 767), Grey(FakeVideoFiles::PixelByte(0, 1, 1151, 959 - 863, 2)));
    EXPECT_EQ(s.pixel(512, 300), Grey(FakeVideoFiles::PixelByte(0, 1, 640, 959 - 396, 2)));
}

TEST_F(DetectSurface, RightClickClosesAndReleasesTheWindow) {
    AddFakeClip("clip.avi", 64, 48);
    TestLauncher launcher;
    launcher.strAviPath = "clip.avi";
    QPointer<QtShowWindow> w = Open(launcher);
    ASSERT_TRUE(w);
    w->Show(true);
    w->SendTimer(TIMER_FRAME);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    EXPECT_FALSE(g_bDetectShowOpen);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);
}

}  // namespace
