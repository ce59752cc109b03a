#pragma once
// The show-window service on Qt Widgets. Needs a QApplication.
// Shows appear at the top-left corner of the show screen: the first screen
// unless told another. In kiosk mode a black backdrop covers that screen and
// holds the show windows, the pointer is hidden over both and the main
// window is kept behind it.

#include <QPointer>
#include <QScreen>
#include <QWidget>

#include "platform/ShowWindow.h"

class QtBackdrop;

class QtShowWindows final : public IShowWindows {
public:
    QtShowWindows() = default;
    ~QtShowWindows() override;
    QtShowWindows(const QtShowWindows&) = delete;
    QtShowWindows& operator=(const QtShowWindows&) = delete;

    IShowWindow* Create(IShowWindowHandler& handler) override;

    // The program's main window, owner of every show window made afterwards;
    // null for none. Forgotten when it is deleted. In kiosk mode the backdrop
    // comes up with it.
    void SetMainWindow(QWidget* pMainWindow);
    // Before the main window is set. Null: the first screen.
    void SetScreen(QScreen* pScreen) { m_pScreen = pScreen; }
    void SetKiosk(bool bKiosk) { m_bKiosk = bKiosk; }

private:
    QScreen* ShowScreen() const;

    QPointer<QWidget> m_pMainWindow;
    QPointer<QScreen> m_pScreen;
    bool m_bKiosk = false;
    QPointer<QtBackdrop> m_pBackdrop;
};
