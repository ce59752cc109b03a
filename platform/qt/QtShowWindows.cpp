#include "platform/qt/QtShowWindows.h"

#include <QApplication>
#include <cstdio>

#include "platform/qt/QtBackdrop.h"
#include "platform/qt/QtShowWindow.h"

QtShowWindows::~QtShowWindows() {
    // One without an owner would outlive the service.
    if (m_pBackdrop && !m_pBackdrop->parent()) delete m_pBackdrop;
}

QScreen* QtShowWindows::ShowScreen() const {
    return m_pScreen ? m_pScreen.data() : QGuiApplication::primaryScreen();
}

void QtShowWindows::SetMainWindow(QWidget* pMainWindow) {
    m_pMainWindow = pMainWindow;
    if (m_bKiosk && pMainWindow && !m_pBackdrop)
        m_pBackdrop = new QtBackdrop(ShowScreen(), pMainWindow);
}

IShowWindow* QtShowWindows::Create(IShowWindowHandler& handler) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "show window: no Qt application to make it in\n");
        handler.PostNcDestroy();
        return nullptr;
    }
    if (m_bKiosk && !m_pBackdrop) m_pBackdrop = new QtBackdrop(ShowScreen(), m_pMainWindow);
    QtShowWindow* pWnd = nullptr;
    if (m_pBackdrop) {
        pWnd = new QtShowWindow(handler, m_pBackdrop, QPoint(0, 0), true);
    } else {
        QScreen* pScreen = ShowScreen();
        pWnd = new QtShowWindow(handler, m_pMainWindow,
                                pScreen ? pScreen->geometry().topLeft() : QPoint(0, 0));
    }
    const AccessibleText accessible = handler.Accessible();
    pWnd->setAccessibleName(QString::fromUtf8(accessible.strName.c_str()));
    pWnd->setAccessibleDescription(QString::fromUtf8(accessible.strDescription.c_str()));
    handler.OnAttach(pWnd);
    return pWnd->Initialise() ? pWnd : nullptr;
}
