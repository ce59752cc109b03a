#pragma once
// Turns SIGINT and SIGTERM into a call on the user-interface thread, so that
// the program can end in order from its event loop. The signal handler only
// writes the signal's number into a pipe; a QSocketNotifier on the other end
// makes the call. One watch at a time; the previous handlers come back when
// it is destroyed.

#include <QObject>
#include <functional>

class QSocketNotifier;

class QtSignalWatch final : public QObject {
    Q_OBJECT

public:
    explicit QtSignalWatch(std::function<void(int nSignal)> onSignal);
    ~QtSignalWatch() override;
    QtSignalWatch(const QtSignalWatch&) = delete;
    QtSignalWatch& operator=(const QtSignalWatch&) = delete;

    // False when the pipe or the handlers could not be set up.
    bool Ok() const { return m_bOk; }
    // A signal that arrived but has not been handed on (no event loop ran
    // since); 0 for none. Taking it hands it on no more.
    int TakePending();

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_pNotifier = nullptr;
    bool m_bOk = false;
};
