#pragma once
// Turns SIGINT and SIGTERM into a call on the user-interface thread, so that
// the program can end in order from its event loop, and makes sure it ends
// even when that loop never gets there. The signal handler only writes the
// signal's number into a pipe, whose QSocketNotifier makes the call, and
// wakes a watchdog thread. Handlers are installed without SA_RESTART, so a
// blocking system call on the user-interface thread returns early.
//
// Callers rely on:
// - If the watch is not destroyed within ORDERLY_END_MS of the first
//   signal, the watchdog says so in one line on standard error and ends the
//   process with _exit(128 + that signal).
// - A second signal ends the process at once with _exit(128 + its number).
// One watch at a time; the previous handlers come back when it is destroyed.

#include <QObject>
#include <functional>
#include <thread>

class QSocketNotifier;

constexpr int ORDERLY_END_MS = 2000;

class QtSignalWatch final : public QObject {
    Q_OBJECT

public:
    explicit QtSignalWatch(std::function<void(int nSignal)> onSignal);
    ~QtSignalWatch() override;
    QtSignalWatch(const QtSignalWatch&) = delete;
    QtSignalWatch& operator=(const QtSignalWatch&) = delete;

    // False when the pipe, the watchdog or the handlers could not be set up.
    bool Ok() const { return m_bOk; }
    // A signal that arrived but has not been handed on (no event loop ran
    // since); 0 for none. Taking it hands it on no more.
    int TakePending();

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_pNotifier = nullptr;
    std::thread m_watchdog;
    bool m_bOk = false;
};
