#pragma once
// A show window without a screen: drawing goes to a RecordingDeviceContext,
// timers only tick when the test sends them, frame views keep their frames.
// A destroyed window stays readable until its FakeShowWindows ends.

#include <map>
#include <memory>
#include <vector>

#include "platform/ShowWindow.h"
#include "tests/fakes/FakeFrameView.h"
#include "tests/fakes/RecordingDeviceContext.h"

class FakeShowWindow final : public IShowWindow {
public:
    explicit FakeShowWindow(IShowWindowHandler& handler);

    WindowRect GetNormalRect() const override { return m_rect; }
    void SetNormalRect(const WindowRect& rect) override { m_rect = rect; }
    void Show(bool) override {}
    void Update() override {}
    void StartTimer(uintptr_t nIDEvent, unsigned nElapse) override;
    void StopTimer(uintptr_t nIDEvent) override;
    IDeviceContext& GetDC() override;
    void Destroy() override;
    IFrameView* CreateFrameView(int x, int y, int w, int h, bool bVisible,
                                std::function<void()> onWindowEnd) override;

    // The messages, delivered at once; nothing happens once destroyed.
    void SendTimer(uintptr_t nIDEvent);
    void SendRButtonDown(int x, int y);
    void SendLButtonDown(int x, int y);
    void SendMouseMove(int x, int y);

    bool HasTimer(uintptr_t nIDEvent) const { return m_timers.count(nIDEvent) != 0; }
    unsigned TimerPeriod(uintptr_t nIDEvent) const;
    int TimerStarts(uintptr_t nIDEvent) const;
    bool Destroyed() const { return m_pHandler == nullptr; }
    // Every frame view made, ended or not; null before the first.
    FakeFrameView* LastFrameView() const {
        return m_views.empty() ? nullptr : m_views.back().get();
    }

    RecordingDeviceContext recorder;

private:
    IShowWindowHandler* m_pHandler;
    WindowRect m_rect{0, 0, 640, 480};
    std::map<uintptr_t, unsigned> m_timers;
    std::map<uintptr_t, int> m_timerStarts;
    std::vector<std::unique_ptr<FakeFrameView>> m_views;
};
