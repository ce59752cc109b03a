#pragma once
// The show-window service on Qt Widgets. Needs a QApplication.

#include "platform/ShowWindow.h"

class QWidget;

class QtShowWindows final : public IShowWindows {
public:
    IShowWindow* Create(IShowWindowHandler& handler) override;

    // The program's main window, owner of every show window made afterwards;
    // null for none.
    void SetMainWindow(QWidget* pMainWindow) { m_pMainWindow = pMainWindow; }

private:
    QWidget* m_pMainWindow = nullptr;
};
