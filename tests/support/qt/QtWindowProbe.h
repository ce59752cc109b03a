#pragma once
// Stands between a show window of the Qt host and the program's handler, so
// that a test or benchmark drives the window as Qt does: ticks and mouse
// presses go in as Qt events to the real widget, and which timers run is
// learnt from the window's own ticks. A tick is sent as the event loop sends
// it: the timer's clock is made to expire now (its period kept), then its
// notifier is told. Made by QtProbedShowWindows.

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "platform/ShowWindow.h"

class QtWindowProbe final : public IShowWindowHandler {
public:
    explicit QtWindowProbe(IShowWindowHandler& target) : m_pTarget(&target) {}

    // Null once the window has ended.
    QWidget* Widget() const { return m_pWidget; }

    bool HasTimer(uintptr_t nIDEvent) { return ReadyTimer(nIDEvent) != nullptr; }
    // One tick of a running timer; false (and nothing sent) when it does not
    // run. The window may have ended afterwards.
    bool SendTimer(uintptr_t nIDEvent);
    // The window's timer nIDEvent, expired and ready to tick; null when it
    // does not run: each running timer is fired once with the handler kept
    // out of it. And its tick sent with nothing else on the way, for timing
    // the tick; a timer fired since it was made ready is first made so again.
    QSocketNotifier* ReadyTimer(uintptr_t nIDEvent);
    void SendReady(QSocketNotifier* pTimer);
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
    static bool Expire(QSocketNotifier* pTimer);
    static bool Expired(QSocketNotifier* pTimer);

    IShowWindowHandler* m_pTarget;
    QPointer<QWidget> m_pWidget;
    bool m_bProbing = false;
    std::optional<uintptr_t> m_probed;
};
