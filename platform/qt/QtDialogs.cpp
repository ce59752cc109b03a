#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <cstdio>

#include "platform/qt/QtDialog.h"
#include "platform/qt/QtShowWindows.h"

QtDialog* QtDialogs::Open(const DialogTemplate& tmpl, IDialogHandler& handler, bool bShow) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "dialog %d: no Qt application to make it in\n", tmpl.nId);
        return nullptr;
    }
    const bool bMain = &handler == m_pMainHandler;
    // Other dialogs sit above the main window.
    auto* pDlg = new QtDialog(tmpl, handler, bMain ? nullptr : m_pMainDialog.data());
    if (bMain) {
        m_pMainDialog = pDlg;
        if (m_pShowWindows) m_pShowWindows->SetMainWindow(pDlg);
    }
    return pDlg->Initialise(bShow) ? pDlg : nullptr;
}

int QtDialogs::DoModal(const DialogTemplate& tmpl, IDialogHandler& handler) {
    QtDialog* pDlg = Open(tmpl, handler, false);
    if (!pDlg) return -1;
    QPointer<QtDialog> guard(pDlg);
    // A run ended by the application's quit leaves no result: cancelled.
    int nResult = pDlg->exec();
    if (nResult == 0) nResult = IDCANCEL;
    if (guard) handler.DestroyWindow();
    if (guard) guard->Destroy();
    return nResult;
}
