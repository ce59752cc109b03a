#pragma once
// A show window without a screen: drawing goes to a RecordingDeviceContext
// (or a context the test supplies), timers only tick when the test sends them.
// A destroyed window stays readable until its FakeShowWindows ends.

#include <map>

#include "platform/ShowWindow.h"
#include "tests/fakes/RecordingDeviceContext.h"

class FakeShowWindow final : public IShowWindow {
public:
    explicit FakeShowWindow(IShowWindowHandler& handler);

    WindowRect GetNormalRect() const override { return m_rect; }
    void SetNormalRect(const WindowRect& rect) override { m_rect = rect; }
    void Show(bool bShow) override { m_bVisible = bShow; }
    void Update() override { ++m_nUpdates; }
    void StartTimer(uintptr_t nIDEvent, unsigned nElapse) override;
    void StopTimer(uintptr_t nIDEvent) override;
    IDeviceContext& GetDC() override;
    void Destroy() override;

    // The messages, delivered at once; nothing happens once destroyed.
    void SendTimer(uintptr_t nIDEvent);
    void SendLButtonDown(int x, int y);
    void SendRButtonDown(int x, int y);
    void SendMouseMove(int x, int y, unsigned nFlags = 0);

    bool HasTimer(uintptr_t nIDEvent) const { return m_timers.count(nIDEvent) != 0; }
    unsigned TimerPeriod(uintptr_t nIDEvent) const;
    int TimerStarts(uintptr_t nIDEvent) const;
    bool Destroyed() const { return m_pHandler == nullptr; }
    bool Visible() const { return m_bVisible; }

    // Draw somewhere else than the recorder (not owned); null goes back.
    void SetDC(IDeviceContext* pDC) { m_pDC = pDC; }
    RecordingDeviceContext recorder;

private:
    IShowWindowHandler* m_pHandler;
    IDeviceContext* m_pDC = nullptr;
    WindowRect m_rect{0, 0, 640, 480};
    bool m_bVisible = false;
    int m_nUpdates = 0;
    std::map<uintptr_t, unsigned> m_timers;
    std::map<uintptr_t, int> m_timerStarts;
};
