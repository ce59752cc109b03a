#pragma once
// One show window of the virtual-time host: a backing image that all
// drawing lands on (or, for a host that keeps no pictures, a surface that
// draws nothing), and timers kept by the host.

#include <QImage>

#include "platform/NullDeviceContext.h"
#include "platform/ShowWindow.h"
#include "platform/qt/QtSurfaceContext.h"

class QtVirtualShowWindows;

class QtVirtualShowWindow final : public IShowWindow {
public:
    QtVirtualShowWindow(QtVirtualShowWindows& host, IShowWindowHandler& handler, bool bPicture);

    // Runs the handler's OnInitDialog; false when the window was destroyed
    // during it.
    bool Initialise();
    // Hands one tick to the handler, unless the window has been destroyed.
    void Tick(uintptr_t nIDEvent);
    bool Destroyed() const { return m_pHandler == nullptr; }
    const QImage& Surface() const { return m_surface; }

    WindowRect GetNormalRect() const override { return m_rect; }
    void SetNormalRect(const WindowRect& rect) override;
    void Show(bool /*bShow*/) override {}
    void Update() override {}
    void StartTimer(uintptr_t nIDEvent, unsigned nElapse) override;
    void StopTimer(uintptr_t nIDEvent) override;
    IDeviceContext& GetDC() override {
        return m_bPicture ? static_cast<IDeviceContext&>(m_dc) : m_blind;
    }
    void Destroy() override;

private:
    QtVirtualShowWindows& m_host;
    IShowWindowHandler* m_pHandler;
    const bool m_bPicture;
    WindowRect m_rect;
    QImage m_surface;
    QtSurfaceContext m_dc;
    CNullDeviceContext m_blind;
};
