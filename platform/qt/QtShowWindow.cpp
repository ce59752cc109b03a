#include "platform/qt/QtShowWindow.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

#include "platform/qt/QtFrameView.h"
#include "platform/qt/QtPreciseTimer.h"

namespace {

// Size before the handler places the window: a show screen.
constexpr int INITIAL_WIDTH = 1024;
constexpr int INITIAL_HEIGHT = 768;

unsigned ButtonFlags(Qt::MouseButtons buttons) {
    unsigned nFlags = 0;
    if (buttons & Qt::LeftButton) nFlags |= MK_LBUTTON;
    if (buttons & Qt::RightButton) nFlags |= MK_RBUTTON;
    return nFlags;
}

}  // namespace

QtShowWindow::QtShowWindow(IShowWindowHandler& handler, QWidget* pOwner, QPoint origin, bool bChild)
    : QWidget(pOwner, bChild ? Qt::Widget : Qt::Window | Qt::FramelessWindowHint),
      m_pHandler(&handler),
      m_origin(origin),
      m_dc([this](const QRect& rect) { update(rect); }) {
    // Every pixel comes from the surface; Qt need not clear anything first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setGeometry(m_origin.x(), m_origin.y(), INITIAL_WIDTH, INITIAL_HEIGHT);
    ResizeSurface(size());
}

QtShowWindow::~QtShowWindow() {
    // Ended with its owner (or the application) rather than through Destroy.
    if (!m_bDestroyed) {
        m_bDestroyed = true;
        KillAllTimers();
        if (IShowWindowHandler* pHandler = std::exchange(m_pHandler, nullptr))
            pHandler->PostNcDestroy();
    }
}

bool QtShowWindow::Initialise() {
    ++m_nDepth;
    m_pHandler->OnInitDialog();
    --m_nDepth;
    if (m_bDestroyed) {
        delete this;
        return false;
    }
    return true;
}

template <typename Call>
void QtShowWindow::Dispatch(Call call) {
    if (m_bDestroyed || !m_pHandler) return;
    ++m_nDepth;
    call(*m_pHandler);
    --m_nDepth;
    // Destroyed by its own handler: Qt still holds this widget while its event
    // is delivered, so the deletion waits for the event loop.
    if (m_bDestroyed && m_nDepth == 0) deleteLater();
}

WindowRect QtShowWindow::GetNormalRect() const {
    const QRect rect =
        (isMaximized() || isMinimized() || isFullScreen()) ? normalGeometry() : geometry();
    const QPoint at = rect.topLeft() - m_origin;
    return WindowRect{at.x(), at.y(), at.x() + rect.width(), at.y() + rect.height()};
}

void QtShowWindow::SetNormalRect(const WindowRect& rect) {
    setGeometry(m_origin.x() + rect.left, m_origin.y() + rect.top,
                std::max(rect.right - rect.left, 1), std::max(rect.bottom - rect.top, 1));
    ResizeSurface(size());
}

void QtShowWindow::Show(bool bShow) {
    if (m_bDestroyed) return;
    setVisible(bShow);
    // Above what else stands on the show screen (a backdrop, another show).
    if (bShow) raise();
}

void QtShowWindow::Update() {
    if (!m_bDestroyed && isVisible()) repaint();
}

void QtShowWindow::StartTimer(uintptr_t nIDEvent, unsigned nElapse) {
    if (m_bDestroyed) return;
    QtPreciseTimer*& pTimer = m_timers[nIDEvent];
    // Kept once made: the handler may restart or stop its timer inside its tick.
    if (!pTimer)
        pTimer = new QtPreciseTimer(
            [this, nIDEvent] {
                Dispatch([nIDEvent](IShowWindowHandler& h) { h.OnTimer(nIDEvent); });
            },
            this);
    pTimer->Start(nElapse);
}

void QtShowWindow::StopTimer(uintptr_t nIDEvent) {
    const auto it = m_timers.find(nIDEvent);
    if (it != m_timers.end()) it->second->Stop();
}

IDeviceContext& QtShowWindow::GetDC() { return m_dc; }

void QtShowWindow::Destroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    KillAllTimers();
    hide();
    if (IShowWindowHandler* pHandler = std::exchange(m_pHandler, nullptr))
        pHandler->PostNcDestroy();
    if (m_nDepth == 0) delete this;
}

IFrameView* QtShowWindow::CreateFrameView(int x, int y, int w, int h, bool bVisible,
                                          std::function<void()> onWindowEnd) {
    if (m_bDestroyed || w <= 0 || h <= 0) return nullptr;
    auto* pView = new QtFrameView(this, QRect(x, y, w, h), std::move(onWindowEnd));
    pView->setVisible(bVisible);
    return pView;
}

void QtShowWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), m_surface, event->rect());
}

void QtShowWindow::resizeEvent(QResizeEvent* event) {
    ResizeSurface(event->size());
    QWidget::resizeEvent(event);
}

void QtShowWindow::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const unsigned nFlags = ButtonFlags(event->buttons());
    if (event->button() == Qt::LeftButton) {
        Dispatch([&](IShowWindowHandler& h) { h.OnLButtonDown(nFlags, pos.x(), pos.y()); });
    } else if (event->button() == Qt::RightButton) {
        Dispatch([&](IShowWindowHandler& h) { h.OnRButtonDown(nFlags, pos.x(), pos.y()); });
    }
}

void QtShowWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const unsigned nFlags = ButtonFlags(event->buttons());
    Dispatch([&](IShowWindowHandler& h) { h.OnMouseMove(nFlags, pos.x(), pos.y()); });
}

void QtShowWindow::closeEvent(QCloseEvent* event) {
    // Show windows end through their handler (a right click), never by the
    // window system's close alone.
    event->ignore();
}

void QtShowWindow::ResizeSurface(const QSize& size) {
    if (m_dc.ResizeSurface(m_surface, size)) update();
}

void QtShowWindow::KillAllTimers() {
    for (const auto& entry : m_timers) entry.second->Stop();
}
