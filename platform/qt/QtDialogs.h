#pragma once
// The dialog service on Qt Widgets. Needs a QApplication. The main window's
// dialog becomes the owner of the show windows made while it exists.

#include <QPointer>

#include "platform/Dialog.h"
#include "platform/qt/QtDialog.h"

class QtShowWindows;

class QtDialogs final : public IDialogs {
public:
    // pShowWindows: the show-window service whose windows the main window
    // owns; null for none.
    explicit QtDialogs(QtShowWindows* pShowWindows = nullptr) : m_pShowWindows(pShowWindows) {}

    int DoModal(const DialogTemplate& tmpl, IDialogHandler& handler) override;
    void SetMainWindow(IDialogHandler* pHandler) override { m_pMainHandler = pHandler; }

    // The dialog made and initialised as DoModal does, without the modal run:
    // shown when bShow. Null when no window could be made or the handler
    // destroyed it during its initialisation.
    QtDialog* Open(const DialogTemplate& tmpl, IDialogHandler& handler, bool bShow);
    // The main window's dialog while it exists.
    QtDialog* MainDialog() const { return m_pMainDialog; }

private:
    QtShowWindows* m_pShowWindows;
    IDialogHandler* m_pMainHandler = nullptr;
    QPointer<QtDialog> m_pMainDialog;
};
