#include "tests/support/qt/QtWindowProbe.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QTimerEvent>

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

int QtWindowProbe::QtTimerId(uintptr_t nIDEvent) {
    if (!m_pWidget) return 0;
    QAbstractEventDispatcher* pDispatcher = QAbstractEventDispatcher::instance(m_pWidget->thread());
    if (!pDispatcher) return 0;
    for (const QAbstractEventDispatcher::TimerInfo& timer :
         pDispatcher->registeredTimers(m_pWidget)) {
        m_bProbing = true;
        m_probed.reset();
        QTimerEvent event(timer.timerId);
        QCoreApplication::sendEvent(m_pWidget, &event);
        m_bProbing = false;
        if (m_probed == nIDEvent) return timer.timerId;
    }
    return 0;
}

void QtWindowProbe::SendQtTimer(int nQtId) {
    if (!m_pWidget || nQtId == 0) return;
    QTimerEvent event(nQtId);
    QCoreApplication::sendEvent(m_pWidget, &event);
}

bool QtWindowProbe::SendTimer(uintptr_t nIDEvent) {
    const int nQtId = QtTimerId(nIDEvent);
    SendQtTimer(nQtId);
    return nQtId != 0;
}

void QtWindowProbe::SendPress(Qt::MouseButton button, int x, int y) {
    if (!m_pWidget) return;
    const QPointF at(x, y);
    QMouseEvent event(QEvent::MouseButtonPress, at, m_pWidget->mapToGlobal(at), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(m_pWidget, &event);
}
