#include "platform/qt/QtVirtualShowWindow.h"

#include <algorithm>
#include <utility>

#include "platform/qt/QtVirtualShowWindows.h"

namespace {

// Size before the handler places the window: a show screen.
constexpr int INITIAL_WIDTH = 1024;
constexpr int INITIAL_HEIGHT = 768;

}  // namespace

QtVirtualShowWindow::QtVirtualShowWindow(QtVirtualShowWindows& host, IShowWindowHandler& handler,
                                         bool bPicture)
    : m_host(host),
      m_pHandler(&handler),
      m_bPicture(bPicture),
      m_rect{0, 0, INITIAL_WIDTH, INITIAL_HEIGHT},
      m_dc([](const QRect&) {}) {
    if (m_bPicture) m_dc.ResizeSurface(m_surface, QSize(INITIAL_WIDTH, INITIAL_HEIGHT));
}

bool QtVirtualShowWindow::Initialise() {
    m_pHandler->OnAttach(this);
    m_pHandler->OnInitDialog();
    return !Destroyed();
}

void QtVirtualShowWindow::Tick(uintptr_t nIDEvent) {
    if (!Destroyed()) m_pHandler->OnTimer(nIDEvent);
}

void QtVirtualShowWindow::SetNormalRect(const WindowRect& rect) {
    m_rect = rect;
    if (!m_bPicture) return;
    // As on the screen: what still fits stays, the rest starts black.
    m_dc.ResizeSurface(
        m_surface, QSize(std::max(rect.right - rect.left, 1), std::max(rect.bottom - rect.top, 1)));
}

void QtVirtualShowWindow::StartTimer(uintptr_t nIDEvent, unsigned nElapse) {
    if (!Destroyed()) m_host.Arm(this, nIDEvent, nElapse);
}

void QtVirtualShowWindow::StopTimer(uintptr_t nIDEvent) { m_host.Disarm(this, nIDEvent); }

void QtVirtualShowWindow::Destroy() {
    if (Destroyed()) return;
    m_host.DisarmAll(this);
    std::exchange(m_pHandler, nullptr)->PostNcDestroy();
}
