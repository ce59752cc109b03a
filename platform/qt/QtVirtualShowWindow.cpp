#include "platform/qt/QtVirtualShowWindow.h"

#include <QPainter>
#include <algorithm>
#include <utility>

#include "platform/qt/QtDeviceContext.h"
#include "platform/qt/QtVirtualShowWindows.h"

namespace {

// Size before the handler places the window: a show screen.
constexpr int INITIAL_WIDTH = 1024;
constexpr int INITIAL_HEIGHT = 768;

}  // namespace

QtVirtualShowWindow::QtVirtualShowWindow(QtVirtualShowWindows& host, IShowWindowHandler& handler)
    : m_host(host),
      m_pHandler(&handler),
      m_rect{0, 0, INITIAL_WIDTH, INITIAL_HEIGHT},
      m_dc([](const QRect&) {}) {
    ResizeSurface(INITIAL_WIDTH, INITIAL_HEIGHT);
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
    ResizeSurface(std::max(rect.right - rect.left, 1), std::max(rect.bottom - rect.top, 1));
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

// As on the screen: what still fits stays, the rest starts black.
void QtVirtualShowWindow::ResizeSurface(int w, int h) {
    if (m_surface.width() == w && m_surface.height() == h) return;
    QImage surface(w, h, QImage::Format_RGB32);
    surface.fill(Qt::black);
    if (!m_surface.isNull()) {
        QPainter painter(&surface);
        painter.drawImage(0, 0, m_surface);
    }
    m_surface = std::move(surface);
    m_dc.SetTarget(std::make_unique<QtDeviceContext>(m_surface));
}
