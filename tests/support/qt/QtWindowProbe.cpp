#include "tests/support/qt/QtWindowProbe.h"

#include <poll.h>
#include <sys/timerfd.h>

#include <QCoreApplication>
#include <QMouseEvent>

#include "platform/qt/QtPreciseTimer.h"

void QtWindowProbe::OnAttach(IShowWindow* pWnd) {
    m_pWidget = dynamic_cast<QWidget*>(pWnd);
    m_pTarget->OnAttach(pWnd);
}

void QtWindowProbe::OnTimer(uintptr_t nIDEvent) {
    if (m_bProbing) {
        m_probed = nIDEvent;
        return;
    }
    m_pTarget->OnTimer(nIDEvent);
}

void QtWindowProbe::PostNcDestroy() {
    m_pWidget = nullptr;
    m_pTarget->PostNcDestroy();
}

// The timer's clock expires now and goes on at its own period.
bool QtWindowProbe::Expire(QSocketNotifier* pTimer) {
    const int fd = static_cast<int>(pTimer->socket());
    itimerspec spec{};
    if (timerfd_gettime(fd, &spec) < 0) return false;
    spec.it_value = {0, 1};
    if (timerfd_settime(fd, 0, &spec, nullptr) < 0) return false;
    pollfd ready{fd, POLLIN, 0};
    return poll(&ready, 1, 1000) == 1;
}

bool QtWindowProbe::Expired(QSocketNotifier* pTimer) {
    pollfd ready{static_cast<int>(pTimer->socket()), POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
}

QSocketNotifier* QtWindowProbe::ReadyTimer(uintptr_t nIDEvent) {
    if (!m_pWidget) return nullptr;
    for (QtPreciseTimer* pTimer : m_pWidget->findChildren<QtPreciseTimer*>()) {
        auto* pNotifier = pTimer->findChild<QSocketNotifier*>();
        if (!pTimer->IsActive() || !pNotifier || !Expire(pNotifier)) continue;
        m_bProbing = true;
        m_probed.reset();
        QEvent event(QEvent::SockAct);
        QCoreApplication::sendEvent(pNotifier, &event);
        m_bProbing = false;
        if (m_probed == nIDEvent) return Expire(pNotifier) ? pNotifier : nullptr;
    }
    return nullptr;
}

void QtWindowProbe::SendReady(QSocketNotifier* pTimer) {
    if (!m_pWidget || !pTimer || (!Expired(pTimer) && !Expire(pTimer))) return;
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(pTimer, &event);
}

bool QtWindowProbe::SendTimer(uintptr_t nIDEvent) {
    QSocketNotifier* pTimer = ReadyTimer(nIDEvent);
    SendReady(pTimer);
    return pTimer != nullptr;
}

void QtWindowProbe::SendPress(Qt::MouseButton button, int x, int y) {
    if (!m_pWidget) return;
    const QPointF at(x, y);
    QMouseEvent event(QEvent::MouseButtonPress, at, m_pWidget->mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(m_pWidget, &event);
}
