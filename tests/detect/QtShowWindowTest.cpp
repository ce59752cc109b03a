// The Qt show window: surface, painting, timers, mouse messages and its end.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/DeviceContext.h"
#include "platform/qt/QtDeviceContext.h"
#include "platform/qt/QtPreciseTimer.h"
#include "platform/qt/QtShowWindow.h"
#include "platform/qt/QtShowWindows.h"
#include "platform/qt/QtSurfaceContext.h"
#include "tests/detect/QtTestApp.h"

namespace {

struct Handler final : IShowWindowHandler {
    IShowWindow* pWnd = nullptr;
    std::vector<std::string> events;
    std::vector<uintptr_t> ticks;
    int nPostNcDestroy = 0;
    std::function<void(Handler&)> onInit;
    std::function<void(Handler&, uintptr_t)> onTimer;
    std::function<void(Handler&)> onRButton;

    void OnAttach(IShowWindow* p) override { pWnd = p; }
    int OnInitDialog() override {
        if (onInit) onInit(*this);
        return 1;
    }
    void OnTimer(uintptr_t id) override {
        ticks.push_back(id);
        if (onTimer) onTimer(*this, id);
    }
    void OnLButtonDown(unsigned f, int x, int y) override { Add("L", f, x, y); }
    void OnRButtonDown(unsigned f, int x, int y) override {
        Add("R", f, x, y);
        if (onRButton) onRButton(*this);
    }
    void OnMouseMove(unsigned f, int x, int y) override { Add("M", f, x, y); }
    void PostNcDestroy() override {
        ++nPostNcDestroy;
        pWnd = nullptr;
    }
    void Add(const char* what, unsigned f, int x, int y) {
        events.push_back(std::string(what) + " " + std::to_string(f) + " " + std::to_string(x) +
                         " " + std::to_string(y));
    }
};

class QtShowWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
    void TearDown() override {
        if (handler.pWnd) handler.pWnd->Destroy();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QtShowWindow* Make() { return static_cast<QtShowWindow*>(windows.Create(handler)); }

    // What the window's paint puts on the screen.
    static QImage Shown(QWidget* w) {
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The periods of the window's running timers, shortest first.
    static std::vector<unsigned> TimerPeriods(QWidget* w) {
        std::vector<unsigned> periods;
        for (const QtPreciseTimer* timer : w->findChildren<QtPreciseTimer*>())
            if (timer->IsActive()) periods.push_back(timer->Interval());
        std::sort(periods.begin(), periods.end());
        return periods;
    }

    static void Press(QWidget* w, Qt::MouseButton button, QPoint at) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(at), w->mapToGlobal(QPointF(at)),
                          button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }

    QtShowWindows windows;
    Handler handler;
};

TEST_F(QtShowWindowTest, SurfaceFollowsTheClientSizeAndThePaintShowsIt) {
    handler.onInit = [](Handler& h) { h.pWnd->SetNormalRect({0, 0, 1024, 768}); };
    QtShowWindow* w = Make();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->geometry(), QRect(0, 0, 1024, 768));
    QImage black(1024, 768, QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_EQ(Shown(w), black);

    // Drawing lands on the surface and is kept across a resize.
    w->SetNormalRect({10, 20, 74, 52});
    Pen pen;
    pen.nWidth = 2;
    pen.crColor = RGB(255, 200, 200);
    w->GetDC().SelectPen(pen);
    w->GetDC().MoveTo(30, 5);
    w->GetDC().LineTo(30, 25);
    w->SetNormalRect({10, 20, 90, 60});
    const QImage shown = Shown(w);
    ASSERT_EQ(shown.size(), QSize(80, 40));
    EXPECT_EQ(shown.pixel(30, 15), qRgb(255, 200, 200));
    EXPECT_EQ(shown.pixel(70, 35), qRgb(0, 0, 0));
}

TEST_F(QtShowWindowTest, TimersTickByIdRestartStopAndEndWithTheWindow) {
    QtShowWindow* w = Make();
    ASSERT_NE(w, nullptr);
    w->StartTimer(3, 5000);
    EXPECT_EQ(TimerPeriods(w), std::vector<unsigned>{5000});
    w->StartTimer(3, 2);  // restarts with the new period
    EXPECT_EQ(TimerPeriods(w), std::vector<unsigned>{2});
    w->StartTimer(9, 100000);

    QEventLoop loop;
    handler.onTimer = [&](Handler& h, uintptr_t) {
        if (h.ticks.size() == 3) loop.quit();
    };
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(handler.ticks, (std::vector<uintptr_t>{3, 3, 3}));

    w->StopTimer(3);
    EXPECT_EQ(TimerPeriods(w), std::vector<unsigned>{100000});

    w->StartTimer(4, 1);
    w->Destroy();
    const size_t ticks = handler.ticks.size();
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 30) QCoreApplication::processEvents();
    EXPECT_EQ(handler.ticks.size(), ticks);
    EXPECT_EQ(handler.nPostNcDestroy, 1);
}

// A tick that waits in a loop of its own (a message box, say) is not entered
// again meanwhile.
TEST_F(QtShowWindowTest, ATickIsNotEnteredAgainFromALoopInsideIt) {
    QtShowWindow* w = Make();
    ASSERT_NE(w, nullptr);
    int nDepth = 0, nMaxDepth = 0;
    QEventLoop outer;
    handler.onTimer = [&](Handler& h, uintptr_t) {
        nMaxDepth = std::max(nMaxDepth, ++nDepth);
        if (h.ticks.size() == 1) {
            QElapsedTimer elapsed;
            elapsed.start();
            while (elapsed.elapsed() < 30) QCoreApplication::processEvents();
        }
        if (h.ticks.size() == 3) outer.quit();
        --nDepth;
    };
    w->StartTimer(1, 2);
    QTimer::singleShot(10000, &outer, &QEventLoop::quit);
    outer.exec();
    EXPECT_EQ(nMaxDepth, 1);
    EXPECT_EQ(handler.ticks.size(), 3u);
}

TEST_F(QtShowWindowTest, MouseMessagesArriveInClientCoordinates) {
    handler.onInit = [](Handler& h) { h.pWnd->SetNormalRect({100, 50, 400, 250}); };
    QtShowWindow* w = Make();
    ASSERT_NE(w, nullptr);
    w->Show(true);
    Press(w, Qt::LeftButton, {10, 20});
    Press(w, Qt::RightButton, {30, 40});
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 6), w->mapToGlobal(QPointF(5, 6)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    EXPECT_EQ(handler.events, (std::vector<std::string>{"L 1 10 20", "R 2 30 40", "M 0 5 6"}));
}

// The window repaints only the reported rectangles: every pixel a drawing
// call changes must lie inside what that call reported.
TEST(QtSurfaceContext, ReportsEveryPixelADrawingCallChanges) {
    TestApplication();
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    QRegion reported;
    QtSurfaceContext dc([&](const QRect& r) { reported += r; });
    dc.SetTarget(std::make_unique<QtDeviceContext>(image));

    const uint8_t bits[3 * 5 * 3] = {255, 255, 255, 1, 2, 3, 9, 9, 9, 7, 7, 7, 200, 100, 50};
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{40, 5, 3, 1, 24, BI_RGB, 45, 0, 0, 0, 0};
    const std::vector<std::function<void()>> calls = {
        [&] { dc.StretchDIBits(3, 4, 5, 3, 0, 0, 5, 3, bits, &bmi, DIB_RGB_COLORS, SRCCOPY); },
        [&] {
            dc.SelectPen(Pen{PS_SOLID, 2, RGB(255, 200, 200)});
        },
        [&] { dc.MoveTo(30, 10); },
        [&] { dc.LineTo(90, 60); },
        [&] { dc.Rectangle(0, 80, 0, 0); },
        [&] { dc.Rectangle(120, 20, 150, 40); },
        [&] { dc.SetTextColor(RGB(200, 200, 255)); },
        [&] {
            dc.SelectFont(Font{12, 0, DEFAULT_CHARSET, "바탕체"});
        },
        [&] { dc.TextOut(140, 70, "20"); },
        [&] {
            dc.SelectFont(Font{2, 1, DEFAULT_CHARSET, "바탕체"});
        },
        [&] { dc.TextOut(0, 0, "15"); }};
    for (size_t i = 0; i < calls.size(); ++i) {
        const QImage before = image.copy();
        reported = QRegion();
        calls[i]();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != before.pixel(x, y)) {
                    ASSERT_TRUE(reported.contains(QPoint(x, y)))
                        << "call " << i << " at " << x << "," << y;
                }
            }
        }
    }
    EXPECT_NE(image.pixel(60, 35), qRgb(0, 0, 0));  // the line was drawn at all
}

// However a window ends, PostNcDestroy comes once and the widget goes.
TEST_F(QtShowWindowTest, EndsFromItsOwnMessageItsInitialisationOrItsOwner) {
    handler.onRButton = [](Handler& h) { h.pWnd->Destroy(); };
    QPointer<QtShowWindow> w = Make();
    ASSERT_TRUE(w);
    w->Show(true);
    Press(w, Qt::RightButton, {3, 3});
    EXPECT_EQ(handler.nPostNcDestroy, 1);
    EXPECT_FALSE(w->isVisible());
    // Qt still holds the widget while delivering its event: it goes later.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);

    Handler init;
    init.onInit = [](Handler& h) { h.pWnd->Destroy(); };
    EXPECT_EQ(windows.Create(init), nullptr);
    EXPECT_EQ(init.nPostNcDestroy, 1);

    auto* owner = new QWidget;
    windows.SetMainWindow(owner);
    Handler owned;
    QPointer<QtShowWindow> w2 = static_cast<QtShowWindow*>(windows.Create(owned));
    ASSERT_TRUE(w2);
    EXPECT_EQ(w2->parentWidget(), owner);
    EXPECT_TRUE(w2->isWindow());
    w2->StartTimer(1, 1);
    delete owner;
    EXPECT_EQ(owned.nPostNcDestroy, 1);
    EXPECT_FALSE(w2);
}

}  // namespace
