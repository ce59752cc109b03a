#pragma once
// Calls handed to the user-interface thread from any thread, run there by
// the Qt event loop after what is already waiting. They wait in a queue of
// our own under our own lock, and an eventfd watched by a socket notifier
// wakes the loop: nothing crosses threads inside Qt's event queue, so the
// hand-over is plain to ThreadSanitizer too.
// Made and destroyed on the user-interface thread, with an application
// object standing; calls still waiting at the end are dropped.

#include <QObject>
#include <functional>
#include <mutex>
#include <vector>

class QSocketNotifier;

class QtUiCalls final : public QObject {
public:
    QtUiCalls();
    ~QtUiCalls() override;

    // Any thread.
    void Post(std::function<void()> call);
    // Post as a function, for services that take one; valid while this stands.
    std::function<void(std::function<void()>)> Poster();

private:
    void RunWaiting();

    int m_fd;
    QSocketNotifier* m_pNotifier;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_calls;  // guarded by m_mutex
};
