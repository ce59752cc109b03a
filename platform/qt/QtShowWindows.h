#pragma once
// The show-window service on Qt Widgets. Needs a QApplication.

#include <QPointer>
#include <QWidget>

#include "platform/ShowWindow.h"

class QtShowWindows final : public IShowWindows {
public:
    IShowWindow* Create(IShowWindowHandler& handler) override;

    // The program's main window, owner of every show window made afterwards;
    // null for none. Forgotten when it is deleted.
    void SetMainWindow(QWidget* pMainWindow) { m_pMainWindow = pMainWindow; }

private:
    QPointer<QWidget> m_pMainWindow;
};
