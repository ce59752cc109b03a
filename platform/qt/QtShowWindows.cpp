#include "platform/qt/QtShowWindows.h"

#include <QApplication>
#include <cstdio>

#include "platform/qt/QtShowWindow.h"

IShowWindow* QtShowWindows::Create(IShowWindowHandler& handler) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "show window: no Qt application to make it in\n");
        handler.PostNcDestroy();
        return nullptr;
    }
    auto* pWnd = new QtShowWindow(handler, m_pMainWindow);
    handler.OnAttach(pWnd);
    return pWnd->Initialise() ? pWnd : nullptr;
}
