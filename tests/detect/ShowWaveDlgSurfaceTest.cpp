// The detection window on the Qt host: what ends up on the window's surface.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

#include "detect/ShowWaveDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "tests/detect/DetectTestSupport.h"
#include "tests/detect/QtTestApp.h"
#include "tests/fakes/FakeVideoFiles.h"
#include "tests/fakes/SimulatedWaveOut.h"
#include "tests/support/qt/QtProbedShowWindows.h"

namespace {

QRgb Grey(int level) { return qRgb(level, level, level); }

QImage Shown(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

class DetectSurface : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        platform::SetShowWindows(&windows);
        platform::SetVideoFiles(&fakeVideo);
        platform::SetWaveOut(&waveOut);
        g_pDetectShow = nullptr;
    }
    void TearDown() override {
        if (g_pDetectShow) g_pDetectShow->CloseShow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::SetShowWindows(nullptr);
        platform::SetVideoFiles(nullptr);
        platform::SetWaveOut(nullptr);
    }

    QtWindowProbe* Open(const TestLauncher& launcher) {
        g_bDetectShowOpen = true;
        g_pDetectShow = new CShowWaveDlg(&launcher);
        return g_pDetectShow->Create() ? windows.Last() : nullptr;
    }

    TestLauncher FakeClip(int w, int h) {
        return AddFakeClip(fakeVideo, "clip.avi", w, h, 25, 1, 10);
    }

    QtProbedShowWindows windows;
    FakeVideoFiles fakeVideo;
    FfmpegVideoFiles ffmpeg;
    SimulatedWaveOut waveOut;
};

TEST_F(DetectSurface, OutlinesInTheirColoursUntilThePictureCoversThem) {
    platform::SetVideoFiles(&ffmpeg);
    QtWindowProbe* w = Open(PermutedCellClip("detect-surface.avi"));  // cells at (400, 324)
    ASSERT_NE(w, nullptr);
    for (int k = 0; k < 22; ++k) ASSERT_TRUE(w->SendTimer(TIMER_FRAME));
    ASSERT_TRUE(w->HasTimer(TIMER_PLAY));

    const QRgb colors[3] = {qRgb(255, 200, 200), qRgb(200, 255, 200), qRgb(200, 200, 255)};
    const std::vector<int> cells = ExpectedCells(PermutedLevel);
    const QImage s = Shown(w->Widget());
    for (int i = 0; i < 3; ++i) {
        const int x = 400 + 32 * (cells[i] % 7);
        const int y = 324 + 40 * (cells[i] / 7);
        EXPECT_EQ(s.pixel(x, y + 20), colors[i]) << "left edge " << i;
        EXPECT_EQ(s.pixel(x + 16, y), colors[i]) << "top edge " << i;
        EXPECT_EQ(s.pixel(x + 32, y + 20), colors[i]) << "right edge " << i;
        EXPECT_EQ(s.pixel(x + 16, y + 40), colors[i]) << "bottom edge " << i;
        EXPECT_EQ(s.pixel(x + 16, y + 20), Grey(PermutedLevel(cells[i] / 7, cells[i] % 7)));
    }
    w->SendTimer(TIMER_FRAME);
    const int x = 400 + 32 * (cells[0] % 7);
    const int y = 324 + 40 * (cells[0] / 7);
    EXPECT_EQ(Shown(w->Widget()).pixel(x, y + 20), Grey(PermutedLevel(cells[0] / 7, cells[0] % 7)));
}

struct GeometryCase {
    int w, h, cellWidth, cellHeight, left, top;
};
void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.w << " x " << c.h; }

class DetectGeometry : public DetectSurface, public ::testing::WithParamInterface<GeometryCase> {};

// Every window pixel: the red channel of frame 1 (the one the next tick
// draws) as grey where the picture lies, cut at the edges; black elsewhere.
TEST_P(DetectGeometry, RedChannelShownExactlyAndCentred) {
    const GeometryCase& c = GetParam();
    QtWindowProbe* w = Open(FakeClip(c.w, c.h));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Widget()->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_EQ(g_pDetectShow->CellWidth(), c.cellWidth);
    EXPECT_EQ(g_pDetectShow->CellHeight(), c.cellHeight);
    EXPECT_EQ(g_pDetectShow->PicLeft(), c.left);
    EXPECT_EQ(g_pDetectShow->PicTop(), c.top);

    ASSERT_TRUE(w->SendTimer(TIMER_FRAME));
    const QImage s = Shown(w->Widget());
    ASSERT_EQ(s.size(), QSize(1024, 768));
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const int px = x - c.left;
            const int py = y - c.top;
            const bool inside = px >= 0 && px < c.w && py >= 0 && py < c.h;
            const QRgb expected =
                inside ? Grey(FakeVideoFiles::PixelByte(0, 1, px, c.h - 1 - py, 2)) : qRgb(0, 0, 0);
            ASSERT_EQ(s.pixel(x, y), expected) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DetectGeometry,
                         ::testing::Values(GeometryCase{320, 240, 44, 80, 352, 264},
                                           GeometryCase{321, 241, 44, 80, 351, 263},
                                           GeometryCase{1280, 960, 180, 320, -128, -96}));

TEST_F(DetectSurface, RightClickClosesAndReleasesTheWindow) {
    QtWindowProbe* w = Open(FakeClip(64, 48));
    ASSERT_NE(w, nullptr);
    const QPointer<QWidget> widget = w->Widget();
    widget->show();
    ASSERT_TRUE(w->SendTimer(TIMER_FRAME));
    w->SendPress(Qt::RightButton, 5, 5);
    EXPECT_FALSE(g_bDetectShowOpen);
    EXPECT_EQ(g_pDetectShow, nullptr);
    EXPECT_EQ(fakeVideo.LiveObjects(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(widget);
}

}  // namespace
