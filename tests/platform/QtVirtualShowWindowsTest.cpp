// The virtual-time show-window host: ticks in due order with the screen
// host's tie rule, timers that end with their window, and the picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <utility>
#include <vector>

#include "platform/DeviceContext.h"
#include "platform/qt/QtVirtualShowWindows.h"

namespace {

void EnsureGuiApp() {
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QApplication(argc, argv);
}

// Timer 0 every 40 ms; its second tick starts timer 1 (one-shot, 40 ms) and
// its fourth destroys the window.
class ScriptedHandler final : public IShowWindowHandler {
public:
    std::vector<std::pair<int64_t, uintptr_t>> ticks;
    QtVirtualShowWindows* pHost = nullptr;
    IShowWindow* pWnd = nullptr;
    bool bEnded = false;

    void OnAttach(IShowWindow* w) override { pWnd = w; }
    int OnInitDialog() override {
        pWnd->SetNormalRect({0, 0, 64, 48});
        pWnd->StartTimer(0, 40);
        return 1;
    }
    void OnTimer(uintptr_t id) override {
        ticks.emplace_back(pHost->NowMs(), id);
        int n = 0;
        for (const auto& tick : ticks) n += tick.second == 0;
        if (id == 1) pWnd->StopTimer(1);
        if (id == 0 && n == 2) pWnd->StartTimer(1, 40);
        if (id == 0 && n == 4) pWnd->Destroy();
    }
    void PostNcDestroy() override { bEnded = true; }
};

class VirtualHost : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApp();
        handler.pHost = &host;
        ASSERT_NE(host.Create(handler), nullptr);
    }
    ScriptedHandler handler;  // outlives the host, whose end ends its window
    QtVirtualShowWindows host;
};

TEST_F(VirtualHost, TicksInDueOrderTiesAfterTheTickingTimerAndEndWithTheWindow) {
    while (host.FireNext()) {
    }
    // Timer 1 falls due with timer 0's third tick, at 120 ms, and comes after it.
    const std::vector<std::pair<int64_t, uintptr_t>> want = {
        {40, 0}, {80, 0}, {120, 0}, {120, 1}, {160, 0}};
    EXPECT_EQ(handler.ticks, want);
    EXPECT_TRUE(handler.bEnded);
    EXPECT_EQ(host.NextDueMs(), INT64_MAX);
    int w = 0, h = 0, stride = 0;
    EXPECT_EQ(host.Picture(w, h, stride), nullptr);
}

TEST_F(VirtualHost, PictureHoldsWhatWasDrawn) {
    IDeviceContext& dc = handler.pWnd->GetDC();
    dc.SelectPen(Pen{PS_SOLID, 1, RGB(255, 200, 100)});
    dc.MoveTo(10, 20);
    dc.LineTo(50, 20);
    int w = 0, h = 0, stride = 0;
    const uint32_t* pixels = host.Picture(w, h, stride);
    ASSERT_NE(pixels, nullptr);
    ASSERT_EQ(w, 64);
    ASSERT_EQ(h, 48);
    EXPECT_EQ(pixels[20 * stride + 30] & 0xFFFFFF, 0xFFC864u);
    EXPECT_EQ(pixels[21 * stride + 30] & 0xFFFFFF, 0u) << "black elsewhere";
}

}  // namespace
