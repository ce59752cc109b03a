#include "tests/fakes/FakeShowWindow.h"

#include <utility>

FakeShowWindow::FakeShowWindow(IShowWindowHandler& handler) : m_pHandler(&handler) {}

void FakeShowWindow::StartTimer(uintptr_t nIDEvent, unsigned nElapse) {
    if (Destroyed()) return;
    m_timers[nIDEvent] = nElapse;
    ++m_timerStarts[nIDEvent];
}

void FakeShowWindow::StopTimer(uintptr_t nIDEvent) { m_timers.erase(nIDEvent); }

unsigned FakeShowWindow::TimerPeriod(uintptr_t nIDEvent) const {
    const auto it = m_timers.find(nIDEvent);
    return it == m_timers.end() ? 0 : it->second;
}

int FakeShowWindow::TimerStarts(uintptr_t nIDEvent) const {
    const auto it = m_timerStarts.find(nIDEvent);
    return it == m_timerStarts.end() ? 0 : it->second;
}

IDeviceContext& FakeShowWindow::GetDC() { return recorder; }

void FakeShowWindow::Destroy() {
    if (Destroyed()) return;
    m_timers.clear();
    std::exchange(m_pHandler, nullptr)->PostNcDestroy();
    // Child views end after the handler, as on a real window.
    for (const auto& view : m_views) view->EndWithWindow();
}

IFrameView* FakeShowWindow::CreateFrameView(int x, int y, int w, int h, bool bVisible,
                                            std::function<void()> onWindowEnd) {
    if (Destroyed()) return nullptr;
    m_views.push_back(
        std::make_unique<FakeFrameView>(x, y, w, h, bVisible, std::move(onWindowEnd)));
    return m_views.back().get();
}

void FakeShowWindow::SendTimer(uintptr_t nIDEvent) {
    if (!Destroyed()) m_pHandler->OnTimer(nIDEvent);
}

void FakeShowWindow::SendRButtonDown(int x, int y) {
    if (!Destroyed()) m_pHandler->OnRButtonDown(MK_RBUTTON, x, y);
}

void FakeShowWindow::SendLButtonDown(int x, int y) {
    if (!Destroyed()) m_pHandler->OnLButtonDown(MK_LBUTTON, x, y);
}

void FakeShowWindow::SendMouseMove(int x, int y) {
    if (!Destroyed()) m_pHandler->OnMouseMove(0, x, y);
}
