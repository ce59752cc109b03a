// The gate show on the Qt host: what hovering leaves on the window's surface.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "gateshow/ShowDlg.h"
#include "platform/ffmpeg/FfmpegVideoFiles.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtShowWindows.h"
#include "tests/detect/QtTestApp.h"
#include "tests/gateshow/GateTestSupport.h"

namespace {

// Pure red within a pixel of (x, y): where a 2-pixel line along it lands.
bool RedNear(const QImage& image, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.pixel(x + dx, y + dy) == qRgb(255, 0, 0)) return true;
    return false;
}

// A point on each edge of zone 0, then of zone 1, then the middle of each.
constexpr int EDGE_POINTS[][2] = {{580, 60},   {700, 200}, {580, 340}, {460, 200}, {880, 60},
                                  {1000, 200}, {880, 340}, {760, 200}, {580, 200}, {880, 200}};

std::vector<bool> RedAtEdges(const QImage& image) {
    std::vector<bool> red;
    for (const auto& p : EDGE_POINTS) red.push_back(RedNear(image, p[0], p[1]));
    return red;
}

TEST(GateSurface, HoverOutlinesTheZoneInRedOnlyWhileALoopWaits) {
    TestApplication();
    QtShowWindows windows;
    FfmpegVideoFiles ffmpeg;
    platform::SetShowWindows(&windows);
    platform::SetVideoFiles(&ffmpeg);

    g_bGateShowOpen = true;
    g_pGateShow = new CShowDlg(StampedClip(160));
    ASSERT_TRUE(g_pGateShow->Create());
    auto* w = static_cast<QtShowWindow*>(g_pGateShow->GetWindow());

    const std::vector<bool> none(std::size(EDGE_POINTS), false);
    w->SendTimer(TIMER_START);
    w->SendMouseMove(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
    EXPECT_EQ(RedAtEdges(w->Surface()), none) << "during the start";

    while (w->HasTimer(TIMER_START)) w->SendTimer(TIMER_START);
    w->SendMouseMove(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
    EXPECT_EQ(RedAtEdges(w->Surface()), none) << "before the loop's first tick";

    w->SendTimer(TIMER_LOOP);
    w->SendMouseMove(GAP_POINT[0], GAP_POINT[1]);
    EXPECT_EQ(RedAtEdges(w->Surface()), none) << "between the zones";
    w->SendMouseMove(ZONE_POINTS[0][0], ZONE_POINTS[0][1]);
    std::vector<bool> zone0 = none;
    for (int i = 0; i < 4; ++i) zone0[i] = true;
    EXPECT_EQ(RedAtEdges(w->Surface()), zone0) << "over zone 0 in the loop";

    g_pGateShow->CloseShow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(g_pGateShow, nullptr);
    platform::SetShowWindows(nullptr);
    platform::SetVideoFiles(nullptr);
}

}  // namespace
