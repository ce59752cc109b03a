#pragma once
// A repeating timer for a show window, on the kernel's clock. Qt rounds
// every timer's wait up to a whole millisecond, so a 40 ms frame tick starts
// anywhere up to a millisecond late; a timerfd keeps its own schedule
// (start + k x period, to the microsecond) and wakes the event loop through
// a socket notifier. Where no timerfd can be had, a Qt precise timer stands
// in. Periods missed meanwhile make one tick, and a tick never begins while
// the one before is still in its handler (a modal loop inside it), as with
// Qt's own timers.

#include <QBasicTimer>
#include <QObject>
#include <functional>

class QSocketNotifier;

class QtPreciseTimer final : public QObject {
    Q_OBJECT

public:
    QtPreciseTimer(std::function<void()> onTick, QObject* pParent);
    ~QtPreciseTimer() override;

    // (Re)starts with the first tick one period from now.
    void Start(unsigned nMsec);
    // No tick after this, not even one the event loop holds already; safe
    // inside the tick's own handler.
    void Stop();
    bool IsActive() const { return m_bActive; }
    unsigned Interval() const { return m_nMsec; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void Expired();
    void Fire();

    const std::function<void()> m_onTick;
    int m_fd = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    QBasicTimer m_fallback;
    unsigned m_nMsec = 0;
    bool m_bActive = false;
    bool m_bTicking = false;
};
