#include "detect/ShowWaveTap.h"

#include <functional>
#include <utility>

#include "detect/ShowWaveDlg.h"

namespace {

// One tapped window: the host's handler and the window's window at once. It
// lives from Create to the host's PostNcDestroy, and deletes itself when no
// call of it is under way any more.
class TappedShow final : public IShowWindowHandler, public IShowWindow {
public:
    TappedShow(CShowWaveDlg& dlg, IShowWaveObserver& observer)
        : m_pDlg(&dlg), m_observer(observer) {}

    // The handler's side, called by the host.
    void OnAttach(IShowWindow* pWnd) override {
        m_pWnd = pWnd;
        m_pDlg->OnAttach(this);
    }
    int OnInitDialog() override {
        ++m_nDepth;
        const int result = m_pDlg->OnInitDialog();
        if (m_pDlg) {
            m_bStarted = true;
            m_observer.OnShowStart(*m_pDlg);
        }
        Leave();
        return result;
    }
    void OnTimer(uintptr_t nIDEvent) override {
        ++m_nDepth;
        m_observer.BeforeTick(*m_pDlg, nIDEvent);
        m_tick = ShowWaveTick{};
        m_tick.nIDEvent = nIDEvent;
        m_tick.bDrewFrame = nIDEvent == TIMER_FRAME;
        m_tick.bPlayed = nIDEvent == TIMER_PLAY;
        m_bInTick = true;
        m_pDlg->OnTimer(nIDEvent);
        m_bInTick = false;
        if (m_pDlg) m_observer.AfterTick(*m_pDlg, m_tick);
        Leave();
    }
    void OnLButtonDown(unsigned nFlags, int x, int y) override {
        Forward([&] { m_pDlg->OnLButtonDown(nFlags, x, y); });
    }
    void OnRButtonDown(unsigned nFlags, int x, int y) override {
        Forward([&] { m_pDlg->OnRButtonDown(nFlags, x, y); });
    }
    void OnMouseMove(unsigned nFlags, int x, int y) override {
        Forward([&] { m_pDlg->OnMouseMove(nFlags, x, y); });
    }
    AccessibleText Accessible() const override {
        return m_pDlg ? m_pDlg->Accessible() : AccessibleText{};
    }
    void PostNcDestroy() override {
        ++m_nDepth;
        std::exchange(m_pDlg, nullptr)->PostNcDestroy();
        m_pWnd = nullptr;
        if (m_bStarted) m_observer.OnShowEnd();
        m_bGone = true;
        Leave();
    }

    // The window's side, called by the detection window.
    WindowRect GetNormalRect() const override { return m_pWnd->GetNormalRect(); }
    void SetNormalRect(const WindowRect& rect) override { m_pWnd->SetNormalRect(rect); }
    void Show(bool bShow) override { m_pWnd->Show(bShow); }
    void Update() override { m_pWnd->Update(); }
    void StartTimer(uintptr_t nIDEvent, unsigned nElapse) override {
        if (m_bInTick && m_tick.nIDEvent == TIMER_FRAME && nIDEvent == TIMER_PLAY)
            m_tick.bRanked = true;
        m_pWnd->StartTimer(nIDEvent, nElapse);
    }
    void StopTimer(uintptr_t nIDEvent) override {
        // The frame tick stops its own timer only when the clip has run out
        // or the camera has failed.
        if (m_bInTick && m_tick.nIDEvent == TIMER_FRAME && nIDEvent == TIMER_FRAME)
            m_tick.bDrewFrame = false;
        m_pWnd->StopTimer(nIDEvent);
    }
    IDeviceContext& GetDC() override { return m_pWnd->GetDC(); }
    void Destroy() override {
        if (m_pWnd) m_pWnd->Destroy();
    }
    IFrameView* CreateFrameView(int x, int y, int w, int h, bool bVisible,
                                std::function<void()> onWindowEnd) override {
        return m_pWnd->CreateFrameView(x, y, w, h, bVisible, std::move(onWindowEnd));
    }

private:
    void Forward(const std::function<void()>& call) {
        ++m_nDepth;
        call();
        Leave();
    }
    void Leave() {
        if (--m_nDepth == 0 && m_bGone) delete this;
    }

    CShowWaveDlg* m_pDlg;  // null once the window is gone
    IShowWaveObserver& m_observer;
    IShowWindow* m_pWnd = nullptr;
    int m_nDepth = 0;  // calls of this object under way
    bool m_bStarted = false;
    bool m_bGone = false;
    bool m_bInTick = false;
    ShowWaveTick m_tick;
};

}  // namespace

CShowWaveTap::CShowWaveTap(IShowWindows& host, IShowWaveObserver& observer)
    : m_host(host), m_observer(observer) {}

IShowWindow* CShowWaveTap::Create(IShowWindowHandler& handler) {
    auto* pDlg = dynamic_cast<CShowWaveDlg*>(&handler);
    if (!pDlg) return m_host.Create(handler);
    auto* pShow = new TappedShow(*pDlg, m_observer);
    // The host has ended the tapped show when it gives null.
    return m_host.Create(*pShow) ? pShow : nullptr;
}
