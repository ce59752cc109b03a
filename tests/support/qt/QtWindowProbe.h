#pragma once
// Stands between a show window of the Qt host and the program's handler, so
// that a test or benchmark drives the window as Qt does: ticks and mouse
// presses go in as Qt events to the real widget, and which timers run is
// learnt from the window's own timer events. Made by QtProbedShowWindows.

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "platform/ShowWindow.h"

class QtWindowProbe final : public IShowWindowHandler {
public:
    explicit QtWindowProbe(IShowWindowHandler& target) : m_pTarget(&target) {}

    // Null once the window has ended.
    QWidget* Widget() const { return m_pWidget; }

    bool HasTimer(uintptr_t nIDEvent) { return QtTimerId(nIDEvent) != 0; }
    // One tick of a running timer; false (and nothing sent) when it does not
    // run. The window may have ended afterwards.
    bool SendTimer(uintptr_t nIDEvent);
    // Qt's id of the window's timer nIDEvent, 0 when it does not run: each
    // timer Qt holds for the widget is fired once with the handler kept out
    // of it. And a tick of it sent with nothing looked up on the way, for
    // timing the tick.
    int QtTimerId(uintptr_t nIDEvent);
    void SendQtTimer(int nQtId);
    void SendPress(Qt::MouseButton button, int x, int y);

    void OnAttach(IShowWindow* pWnd) override;
    int OnInitDialog() override { return m_pTarget->OnInitDialog(); }
    void OnTimer(uintptr_t nIDEvent) override;
    void OnLButtonDown(unsigned nFlags, int x, int y) override {
        m_pTarget->OnLButtonDown(nFlags, x, y);
    }
    void OnRButtonDown(unsigned nFlags, int x, int y) override {
        m_pTarget->OnRButtonDown(nFlags, x, y);
    }
    void OnMouseMove(unsigned nFlags, int x, int y) override {
        m_pTarget->OnMouseMove(nFlags, x, y);
    }
    void PostNcDestroy() override;

private:
    IShowWindowHandler* m_pTarget;
    QPointer<QWidget> m_pWidget;
    bool m_bProbing = false;
    std::optional<uintptr_t> m_probed;
};
